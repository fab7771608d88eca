// The cabinet itself, written by Debian's libgcab: one folder without compression (CE 3.0 is
// not known to read any other), the members in the order laid out, every member dated alike so
// that the same inputs give the same bytes.
#include <libgcab.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "builder/package_builder.h"

namespace package_builder {
namespace {

template <typename T>
struct Unref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref<T>>;

struct FreeError {
    void operator()(GError* error) const { g_error_free(error); }
};

// 1 January 2001, noon: a date the device's file system shows plainly.
GDateTime* MemberDate() {
    return g_date_time_new_utc(2001, 1, 1, 12, 0, 0);
}

bool ReadMember(const Member& member, std::string& bytes) {
    FILE* in = std::fopen(member.path.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    char buffer[65536];
    bytes.clear();
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        bytes.append(buffer, got);
    }
    const bool read = std::ferror(in) == 0;
    std::fclose(in);
    return read;
}

// The cabinet's bytes, in memory.
bool Assemble(const Package& package, std::string& cabinet, std::string& error) {
    Ref<GCabCabinet> cab(gcab_cabinet_new());
    Ref<GCabFolder> folder(gcab_folder_new(GCAB_COMPRESSION_NONE));
    GDateTime* date = MemberDate();
    for (const Member& member : package.members) {
        std::string bytes = package.instructions_bytes;
        if (!member.path.empty() && !ReadMember(member, bytes)) {
            error = member.path + ": cannot be read: " + std::strerror(errno);
            g_date_time_unref(date);
            return false;
        }
        GBytes* data = g_bytes_new(bytes.data(), bytes.size());
        Ref<GCabFile> file(gcab_file_new_with_bytes(member.name.c_str(), data));
        g_bytes_unref(data);
        gcab_file_set_date_time(file.get(), date);
        // The archive bit, as a freshly built file carries it.
        gcab_file_set_attributes(file.get(), GCAB_FILE_ATTRIBUTE_ARCH);
        GError* failure = nullptr;
        if (!gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &failure)) {
            std::unique_ptr<GError, FreeError> owned(failure);
            error = member.name + ": " + owned->message;
            g_date_time_unref(date);
            return false;
        }
    }
    g_date_time_unref(date);
    GError* failure = nullptr;
    if (!gcab_cabinet_add_folder(cab.get(), folder.get(), &failure)) {
        std::unique_ptr<GError, FreeError> owned(failure);
        error = std::string("the cabinet: ") + owned->message;
        return false;
    }
    Ref<GOutputStream> stream(g_memory_output_stream_new_resizable());
    if (!gcab_cabinet_write_simple(cab.get(), stream.get(), nullptr, nullptr, nullptr, &failure) ||
        !g_output_stream_close(stream.get(), nullptr, &failure)) {
        std::unique_ptr<GError, FreeError> owned(failure);
        error = std::string("the cabinet: ") + owned->message;
        return false;
    }
    auto* memory = G_MEMORY_OUTPUT_STREAM(stream.get());
    cabinet.assign(static_cast<const char*>(g_memory_output_stream_get_data(memory)),
                   g_memory_output_stream_get_data_size(memory));
    return true;
}

}  // namespace

bool WriteCabinet(const Package& package, const std::string& output, std::string& error) {
    std::string cabinet;
    if (!Assemble(package, cabinet, error)) {
        return false;
    }
    // The temporary file is in the output's own folder, so the rename cannot cross file
    // systems: the package appears whole or not at all.
    const std::size_t slash = output.rfind('/');
    std::string temporary =
        (slash == std::string::npos ? std::string(".") : output.substr(0, slash)) +
        "/.package-XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        error = output + ": cannot be written: " + std::strerror(errno);
        return false;
    }
    std::size_t written = 0;
    while (written < cabinet.size()) {
        const ssize_t done = write(descriptor, cabinet.data() + written, cabinet.size() - written);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            break;
        }
        written += static_cast<std::size_t>(done);
    }
    const int saved = errno;
    const bool complete = written == cabinet.size() && fsync(descriptor) == 0;
    if (close(descriptor) != 0 || !complete || chmod(temporary.c_str(), 0644) != 0 ||
        std::rename(temporary.c_str(), output.c_str()) != 0) {
        error = output + ": cannot be written: " + std::strerror(complete ? errno : saved);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace package_builder

// The .inf files CE developers wrote for cabwiz in other projects (WRENFOLD_INF_CORPUS, read
// where they are), each built by the package builder (WRENFOLD_BUILDER) as a developer would
// run it, and the package read back by cabextract and the `.000` reader, against what the .inf
// says: tests/package/infs/<name>.txt (WRENFOLD_INF_EXPECTED) lists the source files to put
// beside it, the builds to make, and for each build every note, name, limit, folder, file
// with its flags and bytes, value, shortcut and setup library, or the refusal at its line.
//
// An expectation file's lines:
//   source PATH | pe PATH      a source file to write: its bytes its PATH, or a real PE (the
//                              device build's Wrenfold.dll, WRENFOLD_SETUP_LIBRARY)
//   run NAME [ARGUMENT...]     a build, with the builder's arguments (from the .inf's folder)
//   [NAME...] LINE             LINE is expected of those builds only; unmarked, of every one
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ce_package/ce_package.h"

namespace {

namespace fs = std::filesystem;
using namespace ce_package;

std::string Bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The output of a shell command, and whether it succeeded.
bool Run(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::array<char, 4096> buffer{};
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        output.append(buffer.data(), got);
    }
    return pclose(pipe) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string Quoted(const std::string& text) {
    std::string shown = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, byte >= 32 && byte < 127 ? "%c" : "\\x%02x", byte);
        shown += escaped;
    }
    return shown + "\"";
}

std::string Limits(std::uint32_t low, std::uint32_t high, bool hex) {
    char text[48];
    std::snprintf(text, sizeof text, hex ? "0x%X-0x%X" : "%u-%u", low, high);
    return text;
}

std::string Version(std::uint32_t major, std::uint32_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string Data(const Value& value) {
    const std::uint32_t base = value.type & ~kTypeNoClobber;
    std::string shown;
    if (base == kTypeDword) {
        std::uint32_t number = 0;
        for (std::size_t k = 4; k-- > 0;) {
            number = number << 8 | static_cast<unsigned char>(value.data[k]);
        }
        return std::to_string(number);
    }
    if (base == kTypeBinary) {
        for (const char c : value.data) {
            char byte[4];
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(c));
            shown += (shown.empty() ? "" : " ") + std::string(byte);
        }
        return shown;
    }
    // Strings end in a zero each, a multi-string's list in one more.
    std::string texts = value.data.substr(0, value.data.size() - (base == kTypeString ? 1 : 2));
    for (std::size_t start = 0;;) {
        const std::size_t zero = texts.find('\0', start);
        shown += (start == 0 ? "" : " ") + Quoted(texts.substr(start, zero - start));
        if (zero == std::string::npos) {
            return shown;
        }
        start = zero + 1;
    }
}

// What the package says, one line per fact, in its tables' order; `sources` names each file's
// bytes by the source file they came from.
std::vector<std::string> Describe(const Instructions& in, const fs::path& members,
                                  const std::map<std::string, std::string>& sources) {
    const char* const roots[] = {"", "HKCR", "HKCU", "HKLM", "HKU"};
    std::vector<std::string> lines = {"app " + Quoted(in.app_name) + " provider " +
                                      Quoted(in.provider)};
    std::string unsupported;
    for (const std::string& platform : in.unsupported) {
        unsupported += " " + Quoted(platform);
    }
    lines.push_back("device processor " + std::to_string(in.processor) + " versions " +
                    Version(in.min_major, in.min_minor) + "-" +
                    Version(in.max_major, in.max_minor) + " builds " +
                    Limits(in.min_build, in.max_build, true) + " unsupported" +
                    (unsupported.empty() ? " none" : unsupported));
    const auto folder = [&in](std::uint16_t id) {
        return id == 0 ? std::string("%InstallDir%") : JoinParts(in, FindDirectory(in, id)->parts);
    };
    const auto from = [&](unsigned number) {
        char extension[8];
        std::snprintf(extension, sizeof extension, ".%03u", number);
        for (const auto& entry : fs::directory_iterator(members)) {
            if (entry.path().extension() == extension) {
                const auto found = sources.find(Bytes(entry.path()));
                return found == sources.end() ? std::string("unknown bytes") : found->second;
            }
        }
        return std::string("no member");
    };
    for (const Directory& directory : in.directories) {
        lines.push_back("folder " + JoinParts(in, directory.parts));
    }
    for (const File& file : in.files) {
        char flags[16];
        std::snprintf(flags, sizeof flags, "0x%08X", file.flags);
        lines.push_back("file " + folder(file.directory) + "\\" + file.name + " " + flags + " " +
                        from(file.id));
    }
    for (const Value& value : in.values) {
        const char* const types[] = {"string", "binary", "multi-string", "DWORD"};
        const std::uint32_t base = value.type & ~kTypeNoClobber;
        char flags[16];
        std::snprintf(flags, sizeof flags, "0x%08X", value.type);
        const Hive* hive = FindHive(in, value.hive);
        lines.push_back("value " + std::string(roots[hive->root]) + "\\" +
                        JoinParts(in, hive->parts) + " " + Quoted(value.name) + " " +
                        types[(base & 1) | (base >> 15)] + " " + flags +
                        (value.substitute ? " substituted" : "") + " = " + Data(value));
    }
    for (const Link& link : in.links) {
        const std::string base =
            link.base == 0 ? "%InstallDir%" : "%CE" + std::to_string(link.base) + "%";
        const File* file = link.kind == kLinkToFile ? FindFile(in, link.target) : nullptr;
        lines.push_back("link " + base + "\\" + JoinParts(in, link.parts) + " -> " +
                        (file != nullptr ? folder(file->directory) + "\\" + file->name
                                         : "folder " + folder(link.target)));
    }
    if (from(kSetupLibraryNumber) != "no member") {
        lines.push_back("setup " + from(kSetupLibraryNumber));
    }
    return lines;
}

// cabextract's list of the members, the .000 first and the others by descending number, each
// named for its file's number.
void ExpectMembersInOrder(const fs::path& package, const Instructions& in) {
    std::string listing;
    ASSERT_TRUE(Run("cabextract -l '" + package.string() + "'", listing)) << listing;
    std::vector<std::string> names;
    for (const std::string& line : Lines(listing)) {
        const std::size_t bar = line.rfind("| ");
        if (bar != std::string::npos && line.find("File size") == std::string::npos) {
            names.push_back(line.substr(bar + 2));
        }
    }
    std::vector<unsigned> numbers = {0};
    if (std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return name.size() > 4 && name.substr(name.size() - 4) == ".999";
        })) {
        numbers.push_back(kSetupLibraryNumber);
    }
    for (std::size_t k = in.files.size(); k > 0; --k) {
        numbers.push_back(static_cast<unsigned>(k));
    }
    ASSERT_EQ(names.size(), numbers.size()) << listing;
    for (std::size_t k = 0; k < names.size(); ++k) {
        char extension[8];
        std::snprintf(extension, sizeof extension, ".%03u", numbers[k]);
        EXPECT_EQ(names[k].substr(names[k].size() - 4), extension) << listing;
    }
}

struct Build {
    std::string name;
    std::string arguments;
};

struct Expectation {
    std::vector<std::pair<std::string, bool>> sources;  // path, whether a PE
    std::vector<Build> builds;
    std::vector<std::pair<std::vector<std::string>, std::string>> lines;  // for whom, what
};

Expectation ReadExpectation(const fs::path& path) {
    Expectation expected;
    for (std::string line : Lines(Bytes(path))) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::string> only;
        if (line[0] == '[') {
            std::istringstream names(line.substr(1, line.find(']') - 1));
            for (std::string name; names >> name;) {
                only.push_back(name);
            }
            line = line.substr(line.find(']') + 2);
        }
        const std::string word = line.substr(0, line.find(' '));
        const std::string rest = line.substr(word.size() + (line.size() > word.size() ? 1 : 0));
        if (word == "source" || word == "pe") {
            expected.sources.emplace_back(rest, word == "pe");
        } else if (word == "run") {
            expected.builds.push_back(
                {rest.substr(0, rest.find(' ')), rest.find(' ') == std::string::npos
                                                     ? std::string()
                                                     : rest.substr(rest.find(' ') + 1)});
        } else {
            expected.lines.emplace_back(only, line);
        }
    }
    return expected;
}

// Builds `inf` as `build` says in `folder`, which holds the sources; what the builder said and
// what the package holds.
std::vector<std::string> Built(const fs::path& folder, const std::string& inf, const Build& build,
                               const std::map<std::string, std::string>& sources) {
    const std::string builder = std::getenv("WRENFOLD_BUILDER");
    const std::string stem = fs::path(inf).stem().string();
    const std::size_t cpu = build.arguments.find("--cpu ");
    const bool named = cpu != std::string::npos;
    const fs::path out = folder / ("out-" + build.name);
    fs::create_directories(out);
    const std::string suffix =
        named ? "." + build.arguments.substr(cpu + 6, build.arguments.find(' ', cpu + 6) - cpu - 6)
              : std::string();
    const fs::path package = out / (stem + suffix + ".CAB");
    std::string said;
    const bool built = Run("cd '" + folder.string() + "' && '" + builder + "' " + build.arguments +
                               " '" + inf + "' '" + (named ? out : package).string() + "'",
                           said);
    std::vector<std::string> lines;
    for (const std::string& line : Lines(said)) {
        // "file:line: what" as "note line: what" or "refused line: what", "file: what" as
        // "refused: what".
        const std::string after = line.substr(line.rfind(inf + ":", 0) == 0 ? inf.size() + 1 : 0);
        const std::size_t colon = after.find(": ");
        if (after.empty() || after[0] == ' ' || colon == std::string::npos) {
            lines.push_back("refused:" + after);
            continue;
        }
        const bool note = after.compare(colon + 2, 6, "note: ") == 0;
        lines.push_back((note ? "note " : "refused ") + after.substr(0, colon) + ": " +
                        after.substr(colon + (note ? 8 : 2)));
    }
    if (!built) {
        EXPECT_FALSE(fs::exists(package)) << "a refused build left " << package;
        return lines;
    }
    std::string ignored;
    const fs::path members = out / "members";
    EXPECT_TRUE(
        Run("cabextract -q -d '" + members.string() + "' '" + package.string() + "'", ignored))
        << ignored;
    Instructions in;
    std::string error;
    fs::path instructions;
    for (const auto& entry : fs::directory_iterator(members)) {
        instructions = entry.path().extension() == ".000" ? entry.path() : instructions;
    }
    EXPECT_TRUE(Decode(Bytes(instructions), in, error)) << error;
    ExpectMembersInOrder(package, in);
    for (const std::string& line : Describe(in, members, sources)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(InfCorpus, EachFileBuildsAsItsInfSaysOrIsRefusedAtItsLine) {
    const char* corpus = std::getenv("WRENFOLD_INF_CORPUS");
    const char* expectations = std::getenv("WRENFOLD_INF_EXPECTED");
    const char* setup = std::getenv("WRENFOLD_SETUP_LIBRARY");
    ASSERT_TRUE(corpus != nullptr && expectations != nullptr && setup != nullptr &&
                std::getenv("WRENFOLD_BUILDER") != nullptr)
        << "WRENFOLD_INF_CORPUS, WRENFOLD_INF_EXPECTED, WRENFOLD_SETUP_LIBRARY and "
           "WRENFOLD_BUILDER name no files";
    char scratch[] = "/tmp/inf-corpus-XXXXXX";
    ASSERT_NE(mkdtemp(scratch), nullptr);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".inf") {
            continue;
        }
        ++files;
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const fs::path expected_path = fs::path(expectations) / (entry.path().stem() += ".txt");
        ASSERT_TRUE(fs::exists(expected_path)) << "no expectations for " << name;
        const Expectation expected = ReadExpectation(expected_path);
        const fs::path folder = fs::path(scratch) / entry.path().stem();
        fs::create_directories(folder);
        fs::create_symlink(entry.path(), folder / name);
        std::map<std::string, std::string> sources;  // bytes: the path they stand for
        for (const auto& source : expected.sources) {
            fs::create_directories((folder / source.first).parent_path());
            const std::string bytes = source.second ? Bytes(setup) : source.first;
            std::ofstream(folder / source.first, std::ios::binary) << bytes;
            sources[bytes] = source.first;
        }
        for (const Build& build : expected.builds) {
            SCOPED_TRACE(build.name);
            std::vector<std::string> wanted;
            for (const auto& line : expected.lines) {
                if (line.first.empty() || std::find(line.first.begin(), line.first.end(),
                                                    build.name) != line.first.end()) {
                    wanted.push_back(line.second);
                }
            }
            const std::vector<std::string> got = Built(folder, name, build, sources);
            EXPECT_EQ(got, wanted);
            if (std::getenv("WRENFOLD_INF_SHOW") != nullptr) {
                for (const std::string& line : got) {
                    std::printf("%s [%s] %s\n", name.c_str(), build.name.c_str(), line.c_str());
                }
            }
        }
    }
    EXPECT_EQ(files, 10u) << "the corpus holds " << files << " .inf files, not the ten expected";
    fs::remove_all(scratch);
}

}  // namespace

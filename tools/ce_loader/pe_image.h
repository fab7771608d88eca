// A PE file's headers, sections and export table, read from its bytes as the CE loader reads
// them, on any processor: the loader (ce_image.h) maps the device's files with it, and the
// stand-in CE installer checks with it, in every world, that a package's setup library is one
// the device could load before it loads one. Nothing here runs the image's code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ce {

// The images' fields, little-endian whatever the processor running the loader.
std::uint32_t Read32(const unsigned char* at);
std::uint16_t Read16(const unsigned char* at);
void Write32(unsigned char* at, std::uint32_t value);

constexpr std::uint16_t kMachineArm = 0x1C0;
constexpr std::uint16_t kMachineI386 = 0x14C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

// Where the headers are, once they are known to be a PE image's.
struct Layout {
    std::uint16_t machine = 0;
    bool pe32Plus = false;          // the 64-bit optional header
    std::uint32_t optional = 0;     // offset of the optional header
    std::uint32_t directories = 0;  // offset of its data directories
    unsigned directoryCount = 0;
    std::uint32_t sections = 0;  // offset of the section table
    unsigned sectionCount = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t headersSize = 0;
    std::uint32_t preferredBase = 0;  // a 32-bit image's
    std::uint32_t entry = 0;
    bool library = false;
};

// The headers of `file`: false, with `error` "not a PE file" or "damaged headers", when they are
// none or reach outside it.
bool ReadLayout(const std::vector<unsigned char>& file, Layout& layout, std::string& error);

// Copies the headers and every section of `file` into `image`, `layout.imageSize` bytes; false
// when a section lies outside the image or the file.
bool MapSections(const std::vector<unsigned char>& file, const Layout& layout, unsigned char* image,
                 std::string& error);

enum Directory { kExports = 0, kImports = 1, kRelocations = 5 };
// A data directory's range in the image: absent (both words 0), inside the image, or damaged.
enum class Range { kAbsent, kInside, kDamaged };
Range DirectoryRange(const unsigned char* image, const Layout& layout, Directory directory,
                     std::uint32_t& rva, std::uint32_t& size);

// Where a mapped image's export table lies, as ReadExports validated it: offsets into the image
// of the function, name and ordinal arrays, every entry of which is known to lie inside it.
struct ExportTable {
    std::uint32_t functions = 0;
    std::uint32_t functionCount = 0;
    std::uint32_t names = 0;
    std::uint32_t ordinals = 0;
    std::uint32_t nameCount = 0;
};

// Checks that every name, ordinal and function of the mapped image's export table lies inside
// it (a function's address before the image's end, a name's ordinal before the function
// table's), so that FindExportOffset can read it without checking again. A library without one
// exports nothing. False, with "damaged export table", otherwise.
bool ReadExports(const Layout& layout, const unsigned char* image, ExportTable& table,
                 std::string& error);

// A zero-terminated name inside the mapped image, or "" when it runs past its end.
std::string NameAt(const unsigned char* image, const Layout& layout, std::uint32_t rva);

// The offset in the mapped image of the export named `name`; false when there is none.
bool FindExportOffset(const unsigned char* image, std::size_t size, const ExportTable& table,
                      const char* name, std::uint32_t& offset);

}  // namespace ce

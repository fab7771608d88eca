// The cabwiz .inf as text: sections of lines, each line a key (maybe none) and comma-separated
// fields, quotes removed, with its line number for messages. What the lines mean is the
// builder's business (context.h lists the units that read them).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace package_builder {

struct InfLine {
    int number = 0;  // where it starts, when continued over several
    bool has_key = false;
    std::string key;
    std::vector<std::string> fields;  // quotes removed, %...% left for the builder
};

struct InfSection {
    int number = 0;  // the line of its first [header]
    std::string name;
    std::vector<InfLine> lines;
};

// Sections by upper-cased name; a section written twice is one section, lines in file order.
using Inf = std::map<std::string, InfSection>;

std::string Upper(std::string text);

// Reads `bytes` (the contents of `path`, named in messages): UTF-16LE or UTF-8 after their
// byte-order marks, UTF-8 without one, or else the ANSI code page (Windows-1252), which the
// text becomes in every case, as the package's names are ANSI. Lines end in CRLF or LF; a line
// whose last character outside quotes and comments is "\" goes on in the next; ";" outside
// quotes starts a comment; a field may be made of several pieces, quoted and not ("" inside
// quotes is one quote). On failure `error` is "path:line: what is wrong".
bool ParseInf(const std::string& path, const std::string& bytes, Inf& inf, std::string& error);

}  // namespace package_builder

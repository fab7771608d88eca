// The cabwiz .inf as text: sections of lines, each line a key (maybe none) and comma-separated
// fields, quotes removed, with its line number for messages. What the lines mean is the
// builder's business (package_builder.cpp).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace package_builder {

struct InfLine {
    int number = 0;
    bool has_key = false;
    std::string key;
    std::vector<std::string> fields;  // quotes removed, %...% left for the builder
    std::vector<bool> quoted;         // whether each field was written in quotes
};

struct InfSection {
    int number = 0;  // the line of its first [header]
    std::string name;
    std::vector<InfLine> lines;
};

// Sections by upper-cased name; a section written twice is one section, lines in file order.
using Inf = std::map<std::string, InfSection>;

std::string Upper(std::string text);

// Reads `text` (the contents of `path`, named in messages). On failure `error` is
// "path:line: what is wrong".
bool ParseInf(const std::string& path, const std::string& text, Inf& inf, std::string& error);

}  // namespace package_builder

// Where a statement stands in the program's source, so that tests can pin a
// located error's exact text without copying a line number.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>

inline int SourceLineOf(const std::string& relativePath, const std::string& text) {
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/" + relativePath);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number)
        if (line.find(text) != std::string::npos) return number;
    throw std::runtime_error(relativePath + " has no line with " + text);
}

inline std::string LocatedMessage(const std::string& error, const std::string& file, int line) {
    return error + "\n Line " + std::to_string(line) + "\n Programming Source code File " + file + "\n2.10.7";
}

// Whole host files as byte strings, for tests that arrange and check files directly.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace tavik::test {

// Replaces the file's content; false when it cannot be written.
inline bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

// The file's whole content; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace tavik::test

// Whole host files as byte strings, for tests that arrange and check files directly.
#pragma once

#include <cstdint>
#include <filesystem>
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

// A sparse file of size bytes holding tail at offset at (the rest are holes, so large sizes cost
// nothing); the file is made anew.
inline void writeSparse(const std::string& path, uint64_t size, const std::string& tail = {},
                        uint64_t at = 0) {
    std::ofstream(path, std::ios::binary).flush();
    std::filesystem::resize_file(path, size);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
}

// Up to count bytes of the file from offset at; fewer where it ends.
inline std::string readRange(const std::string& path, uint64_t at, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(at));
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

} // namespace tavik::test

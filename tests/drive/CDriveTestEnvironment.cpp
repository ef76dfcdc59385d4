#include "tests/drive/CDriveTestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tavik::test {

CDriveTestEnvironment::CDriveTestEnvironment() {
    std::string pattern = (fs::temp_directory_path() / "tavik-drive-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no temporary folder");
    }
    folder_ = pattern;
    fs::create_directories(root() + "/Windows");
    fs::create_directories(folder_ + "/bin");
    replace("TAVIK_DEVICE_ROOT", root());
    replace("TAVIK_REGISTRY", folder_ + "/registry.db");
    replace("PATH", folder_ + "/bin");
}

CDriveTestEnvironment::~CDriveTestEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->present) {
            ::setenv(it->name.c_str(), it->value.c_str(), 1);
        } else {
            ::unsetenv(it->name.c_str());
        }
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void CDriveTestEnvironment::replace(const std::string& name, const std::string& value) {
    const char* old = std::getenv(name.c_str());
    saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    ::setenv(name.c_str(), value.c_str(), 1);
}

void CDriveTestEnvironment::addProgram(const std::string& name, const std::string& script) const {
    std::string path = folder_ + "/bin/" + name;
    {
        std::ofstream out(path, std::ios::binary);
        out << script;
    }
    fs::permissions(path, fs::perms::owner_all);
}

std::vector<uint8_t> CDriveTestEnvironment::readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CDriveTestEnvironment::writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string CDriveTestEnvironment::readText(const std::string& path) {
    std::vector<uint8_t> bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> CDriveTestEnvironment::utf16le(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    return bytes;
}

} // namespace tavik::test

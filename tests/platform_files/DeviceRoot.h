// A fresh temporary folder used as the device root for one test; removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tavik::test {

class DeviceRoot {
public:
    DeviceRoot() {
        std::string templ = (std::filesystem::temp_directory_path() / "tavik-dev-XXXXXX").string();
        root_ = ::mkdtemp(templ.data());
        ::setenv("TAVIK_DEVICE_ROOT", root_.c_str(), 1);
    }
    ~DeviceRoot() {
        ::unsetenv("TAVIK_DEVICE_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    DeviceRoot(const DeviceRoot&) = delete;
    DeviceRoot& operator=(const DeviceRoot&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path operator/(const std::string& relative) const { return root_ / relative; }

    void write(const std::string& relative, const std::string& content) const {
        std::ofstream out(root_ / relative, std::ios::binary);
        out << content;
    }
    std::string read(const std::string& relative) const {
        std::ifstream in(root_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
};

} // namespace tavik::test

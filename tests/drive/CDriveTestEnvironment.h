// A private world for one drive test: a temporary folder holding the device root (with its
// "\Windows" folder), the registry store and a bin folder that is the whole PATH, so that only
// the programs a test puts there exist. The environment is restored afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavik::test {

class CDriveTestEnvironment {
public:
    CDriveTestEnvironment();
    ~CDriveTestEnvironment();
    CDriveTestEnvironment(const CDriveTestEnvironment&) = delete;
    CDriveTestEnvironment& operator=(const CDriveTestEnvironment&) = delete;

    const std::string& folder() const { return folder_; }
    std::string root() const { return folder_ + "/root"; }
    std::string windowsFile(const std::string& name) const { return root() + "/Windows/" + name; }

    // Puts an executable shell script into the bin folder.
    void addProgram(const std::string& name, const std::string& script) const;

    static std::vector<uint8_t> readBytes(const std::string& path);
    static void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
    static std::string readText(const std::string& path);
    // UTF-16LE bytes of an ASCII or BMP text.
    static std::vector<uint8_t> utf16le(const std::u16string& text);

private:
    struct Saved {
        std::string name;
        bool present = false;
        std::string value;
    };
    void replace(const std::string& name, const std::string& value);

    std::string folder_;
    std::vector<Saved> saved_;
};

} // namespace tavik::test

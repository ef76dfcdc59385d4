// A fresh folder under $TMPDIR (or /tmp) for one test, removed with everything in it when the
// object goes out of scope.
#pragma once

#include <string>

namespace tavik::test {

class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // The folder's host path, without a trailing '/'; empty when it could not be made.
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes to path() + "/" + name; false when that fails.
    bool write(const std::string& name, const std::string& bytes) const;
    // The whole content of path() + "/" + name, or empty.
    std::string read(const std::string& name) const;

private:
    std::string path_;
};

} // namespace tavik::test

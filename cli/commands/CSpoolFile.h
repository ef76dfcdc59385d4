// A private temporary file that holds a stream's bytes (standard input for put), removed when
// the object goes. It lives in $TMPDIR (or /tmp), readable by its owner only.
#pragma once

#include <filesystem>
#include <istream>
#include <string>

namespace tavik::cli {

class CSpoolFile {
public:
    CSpoolFile() = default;
    ~CSpoolFile();
    CSpoolFile(const CSpoolFile&) = delete;
    CSpoolFile& operator=(const CSpoolFile&) = delete;

    // Copies everything from `in` into a new file; false with *why on failure.
    bool fill(std::istream& in, std::string* why);
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace tavik::cli

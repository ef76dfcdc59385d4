// One open file of the device's file system (paths as in LocalFileSystem.h). RAII: the
// descriptor is closed by Close or by the destructor. Every failing call returns false or -1 and
// keeps its error code (LocalFileSystem.h's kError*) for error(). One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavik::platform {

class CLocalFile {
public:
    enum class Access { Read, Write, ReadWrite };
    enum class Disposition {
        OpenExisting, // fails with 2 or 3 when missing
        OpenAlways,   // opens, or creates an empty file
        CreateAlways, // creates, or truncates an existing file
        CreateNew,    // fails with 183 when it exists
    };
    enum class Origin { Begin, Current, End };

    CLocalFile() = default;
    ~CLocalFile();
    CLocalFile(const CLocalFile&) = delete;
    CLocalFile& operator=(const CLocalFile&) = delete;
    CLocalFile(CLocalFile&& other) noexcept;
    CLocalFile& operator=(CLocalFile&& other) noexcept;

    // Closes any file already open first. A folder cannot be opened (5).
    bool Open(std::u16string_view devicePath, Access access, Disposition disposition);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // The new position from the beginning, or -1.
    int64_t Seek(int64_t offset, Origin origin);
    // Bytes read (0 at the end of the file) or -1.
    int64_t Read(void* buffer, size_t count);
    // Writes all count bytes: count, or -1 (a partial write is a failure, e.g. 112 disk full).
    int64_t Write(const void* buffer, size_t count);
    // The size in bytes, or -1.
    int64_t Size();
    uint32_t error() const { return error_; }

private:
    bool fail(int err);

    int fd_ = -1;
    std::string hostPath_;
    uint32_t error_ = 0;
};

} // namespace tavik::platform

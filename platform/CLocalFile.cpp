#include "platform/CLocalFile.h"

#include "platform/LocalFileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tavik::platform {

CLocalFile::~CLocalFile() {
    Close();
}

CLocalFile::CLocalFile(CLocalFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), hostPath_(std::move(other.hostPath_)),
      error_(other.error_) {}

CLocalFile& CLocalFile::operator=(CLocalFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        hostPath_ = std::move(other.hostPath_);
        error_ = other.error_;
    }
    return *this;
}

bool CLocalFile::fail(int err) {
    error_ = fileErrorFromErrno(err, hostPath_);
    return false;
}

bool CLocalFile::Open(std::u16string_view devicePath, Access access, Disposition disposition) {
    Close();
    hostPath_ = hostPath(devicePath);
    int flags = O_CLOEXEC;
    flags |= access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
    switch (disposition) {
    case Disposition::OpenExisting:
        break;
    case Disposition::OpenAlways:
        flags |= O_CREAT;
        break;
    case Disposition::CreateAlways:
        flags |= O_CREAT | O_TRUNC;
        break;
    case Disposition::CreateNew:
        flags |= O_CREAT | O_EXCL;
        break;
    }
    int fd = ::open(hostPath_.c_str(), flags, 0666);
    if (fd < 0) {
        return fail(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(err);
    }
    fd_ = fd;
    error_ = kErrorSuccess;
    return true;
}

void CLocalFile::Close() {
    if (fd_ >= 0) {
        ::close(std::exchange(fd_, -1));
    }
}

int64_t CLocalFile::Seek(int64_t offset, Origin origin) {
    int whence = origin == Origin::Begin     ? SEEK_SET
                 : origin == Origin::Current ? SEEK_CUR
                                             : SEEK_END;
    off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos < 0) {
        fail(fd_ < 0 ? EBADF : errno);
        return -1;
    }
    return pos;
}

int64_t CLocalFile::Read(void* buffer, size_t count) {
    for (;;) {
        ssize_t n = ::read(fd_, buffer, count);
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            fail(errno);
            return -1;
        }
    }
}

int64_t CLocalFile::Write(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(n == 0 ? ENOSPC : errno);
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

int64_t CLocalFile::Size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        fail(errno);
        return -1;
    }
    return st.st_size;
}

} // namespace tavik::platform

#include "server/CFileDescriptor.h"

#include <unistd.h>

namespace tavik::server {

CFileDescriptor::~CFileDescriptor() {
    reset();
}

CFileDescriptor::CFileDescriptor(CFileDescriptor&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

CFileDescriptor& CFileDescriptor::operator=(CFileDescriptor&& other) noexcept {
    if (this != &other) {
        reset(other.fd_);
        other.fd_ = -1;
    }
    return *this;
}

void CFileDescriptor::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

} // namespace tavik::server

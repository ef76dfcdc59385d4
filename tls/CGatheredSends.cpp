#include "tls/CGatheredSends.h"

#include <openssl/bio.h>

#include <cerrno>
#include <cstddef>
#include <sys/socket.h>

namespace tavik::tls {

namespace {

CGatheredSends* sendsOf(BIO* bio) {
    return static_cast<CGatheredSends*>(BIO_get_data(bio));
}

int gatherWrite(BIO* bio, const char* bytes, size_t count, size_t* written) {
    BIO_clear_retry_flags(bio);
    sendsOf(bio)->append(reinterpret_cast<const uint8_t*>(bytes), count);
    *written = count;
    return 1;
}

long gatherControl(BIO* bio, int command, long, void*) {
    CGatheredSends* sends = sendsOf(bio);
    switch (command) {
    case BIO_CTRL_FLUSH:
        BIO_clear_retry_flags(bio);
        if (sends->flush()) {
            return 1;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            BIO_set_retry_write(bio);
        }
        return 0;
    case BIO_CTRL_WPENDING:
        return static_cast<long>(sends->waiting());
    case BIO_CTRL_PENDING:
        return 0;
    default:
        return 0;
    }
}

int gatherCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* gatherMethod() {
    // Made once and kept for the process, as OpenSSL's own methods are.
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "gathered");
        if (made != nullptr) {
            BIO_meth_set_write_ex(made, gatherWrite);
            BIO_meth_set_ctrl(made, gatherControl);
            BIO_meth_set_create(made, gatherCreate);
        }
        return made;
    }();
    return method;
}

} // namespace

BIO* CGatheredSends::newBio() {
    const BIO_METHOD* method = gatherMethod();
    BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
    if (bio != nullptr) {
        BIO_set_data(bio, this);
    }
    return bio;
}

void CGatheredSends::append(const uint8_t* bytes, size_t count) {
    // The bytes already sent make room once they are at least as many as those still waiting,
    // so that each byte moves at most once more on average.
    if (start_ > 0 && start_ >= buffer_.size() - start_) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    // A burst plus the record that ends it, so that no append moves the bytes gathered.
    buffer_.reserve(kBurstBytes + 32 * 1024);
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    appended_ += count;
}

bool CGatheredSends::flush() {
    while (start_ < buffer_.size()) {
        const ssize_t n = ::send(fd_, buffer_.data() + start_, buffer_.size() - start_,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            start_ += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
    // A burst's room is given back, so that an idle connection holds none.
    std::vector<uint8_t>().swap(buffer_);
    start_ = 0;
    return true;
}

} // namespace tavik::tls

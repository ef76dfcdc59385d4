#include "sdk/core/CLastError.h"

#include "sdk/include/TavikErrors.h"

#include <cerrno>

namespace tavik {

CLastError& CLastError::instance() {
    static CLastError store;
    return store;
}

const char16_t* CLastError::text() const {
    // The string last handed to this thread: it outlives its replacement in the store until
    // this thread asks again, so a caller may read it while other threads fail.
    thread_local Text given;
    std::lock_guard<std::mutex> guard(textLock_);
    given = text_;
    return given->c_str();
}

void CLastError::setCode(int32_t code) {
    code_.store(code, std::memory_order_relaxed);
    errno = code;
}

void CLastError::setText(std::u16string text) {
    // Built outside the lock; the old string is released by whoever holds it last.
    Text fresh = std::make_shared<const std::u16string>(std::move(text));
    std::lock_guard<std::mutex> guard(textLock_);
    text_.swap(fresh);
}

void CLastError::apply(const ErrorReport& report) {
    setCode(report.code);
    if (report.text) {
        setText(*report.text);
    }
}

const char16_t* CLastError::format(int32_t code) {
    thread_local std::array<char16_t, 64> formatted{};
    const char* text = errorText(code);
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < formatted.size(); ++i) {
        formatted[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    formatted[i] = u'\0';
    return formatted.data();
}

const char* errorText(int32_t code) {
    switch (code) {
    case TAVIK_ERR_UNKNOWN:
        return "unknown error";
    case TAVIK_ERR_NONE:
        return "no error";
    case TAVIK_ERR_CONNECT_FAIL:
        return "connect fail";
    case TAVIK_ERR_SOCKET:
        return "socket error";
    case TAVIK_ERR_WRONG_PACKET:
        return "wrong packet";
    case TAVIK_ERR_SERVER_OPERATION:
        return "server operation error";
    case TAVIK_ERR_TLS_UNTRUSTED:
        return "server certificate not trusted";
    case TAVIK_ERR_TLS_FAILED:
        return "secure connection failed";
    case TAVIK_ERR_WRONG_ID:
        return "wrong id";
    case TAVIK_ERR_WRONG_PASSWD:
        return "wrong passwd";
    case TAVIK_ERR_SESSION_LIMIT:
        return "session limit error";
    case TAVIK_ERR_NO_SHARE_DIRECTORY:
        return "no share directory";
    case TAVIK_ERR_DOWNLOAD_LIMIT:
        return "download limit error";
    case TAVIK_ERR_UPLOAD_LIMIT:
        return "upload limit error";
    case TAVIK_ERR_REMOTE_FILE:
        return "remote file operate error";
    case TAVIK_ERR_LOCAL_FILE:
        return "local file operate error";
    case TAVIK_ERR_NOT_EMPTY_DIRECTORY:
        return "not empty directory";
    case TAVIK_ERR_DISK_INFO:
        return "get disk infomation fail";
    case TAVIK_ERR_EXISTS:
        return "file or directory exist";
    case TAVIK_ERR_NOT_EXIST:
        return "file or directory not exist";
    case TAVIK_ERR_DISK_FULL:
        return "disk full";
    case TAVIK_ERR_NOT_DIRECTORY:
        return "is not directory";
    case TAVIK_ERR_PERMISSION:
        return "permission deny";
    case TAVIK_ERR_WRONG_PARAMETER:
        return "wrong parameter";
    case TAVIK_ERR_INVALID_HANDLE:
        return "invalid handle";
    case TAVIK_ERR_NOT_ENOUGH_BUFFER:
        return "not enough buffer";
    case TAVIK_ERR_NOT_ALLOWED:
        return "not allow command";
    default:
        return "";
    }
}

} // namespace tavik

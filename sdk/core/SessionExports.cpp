// The session exports: creation, duplication, destruction, time-out and the login reply's
// values.
#include "sdk/core/CSessionRegistry.h"
#include "sdk/core/ExportCall.h"
#include "sdk/include/TavikErrors.h"
#include "sdk/include/TavikSession.h"

#include "tls/Fingerprint.h"

#include <algorithm>
#include <new>

using tavik::CSession;
using tavik::CSessionRegistry;
using tavik::Done;
using tavik::ErrorReport;
using tavik::Result;

namespace {

ErrorReport invalidHandle() {
    return ErrorReport::codeOnly(TAVIK_ERR_INVALID_HANDLE);
}

// A session with these settings, logged in and registered; nothing is left behind on failure.
Result<TAVIK_SESSION> openSession(std::unique_ptr<CSession> session) {
    Result<Done> refused = tavik::CheckSessionTexts(*session);
    if (!refused) {
        return Result<TAVIK_SESSION>::failFrom(refused);
    }
    Result<Done> login = tavik::ConnectAndLogin(*session);
    if (!login) {
        return Result<TAVIK_SESSION>::failFrom(login);
    }
    return Result<TAVIK_SESSION>::ok(CSessionRegistry::instance().Add(std::move(session)),
                                     login.report());
}

Result<TAVIK_SESSION> createSession(LPCWSTR host, int port, LPCWSTR user, LPCWSTR password,
                                    int timeout) {
    std::unique_ptr<CSession> session(new (std::nothrow) CSession);
    if (!session) {
        return Result<TAVIK_SESSION>::fail(std::nullopt);
    }
    session->host = host != nullptr ? host : u"";
    session->port = port;
    session->user = user != nullptr ? user : u"";
    session->password = password != nullptr ? password : u"";
    session->sendTimeoutItem = true;
    session->timeout = timeout;
    session->security = tavik::DefaultSecurity();
    return openSession(std::move(session));
}

Result<TAVIK_SESSION> duplicateSession(TAVIK_SESSION handle) {
    // A destroyed session's handle is refused like a null one rather than read after its free.
    const CSession* found = CSessionRegistry::instance().Find(handle);
    if (found == nullptr) {
        return Result<TAVIK_SESSION>::fail(invalidHandle());
    }
    const CSession& from = *found;
    std::unique_ptr<CSession> session(new (std::nothrow) CSession);
    if (!session) {
        return Result<TAVIK_SESSION>::fail(std::nullopt);
    }
    session->host = from.host;
    session->port = from.port;
    session->user = from.user;
    session->password = from.password;
    session->sendTimeoutItem = from.sendTimeoutItem;
    session->timeout = from.timeout;
    session->security = from.security;
    return openSession(std::move(session));
}

// One of the login reply's texts of a registered session.
Result<LPCWSTR> sessionText(TAVIK_SESSION handle, std::u16string CSession::*field) {
    CSession* session = CSessionRegistry::instance().Find(handle);
    if (session == nullptr) {
        return Result<LPCWSTR>::fail(invalidHandle());
    }
    return Result<LPCWSTR>::ok((session->*field).c_str());
}

} // namespace

TAVIK_API TAVIK_SESSION tavik_CreateVXSession(_VXTAVIK_HOSTINFO* /*host*/, LPCWSTR /*user*/,
                                              LPCWSTR /*password*/, int /*timeout*/) {
    // Never implemented by the service: no session, and the last error is left alone.
    return tavik::exportCall<TAVIK_SESSION>(
        nullptr, [] { return Result<TAVIK_SESSION>::fail(std::nullopt); });
}

extern "C" {

TAVIK_API TAVIK_SESSION tavik_CreateSession(LPCWSTR host, int port, LPCWSTR user, LPCWSTR password,
                                            int timeout) {
    return tavik::exportCall<TAVIK_SESSION>(
        nullptr, [&] { return createSession(host, port, user, password, timeout); });
}

TAVIK_API TAVIK_SESSION tavik_DuplicateSession(TAVIK_SESSION session) {
    return tavik::exportCall<TAVIK_SESSION>(nullptr, [&] { return duplicateSession(session); });
}

TAVIK_API void tavik_DestroySession(TAVIK_SESSION session) {
    tavik::exportCallVoid([&] {
        std::unique_ptr<CSession> removed = CSessionRegistry::instance().Remove(session);
        if (!removed) {
            return Result<Done>::fail(invalidHandle());
        }
        // Closes the connection; no command is sent to the server.
        return Result<Done>::ok(Done{});
    });
}

TAVIK_API void tavik_SetSessionTimeout(TAVIK_SESSION session, int timeout) {
    tavik::exportCallVoid([&] {
        CSession* found = CSessionRegistry::instance().Find(session);
        if (found == nullptr) {
            return Result<Done>::fail(invalidHandle());
        }
        found->timeout = timeout;
        return Result<Done>::ok(Done{});
    });
}

TAVIK_API int tavik_SetSecurity(int mode, LPCWSTR fingerprint) {
    return tavik::exportCall<int>(-1, [&] {
        tavik::SessionSecurity security;
        security.mode = mode;
        if (fingerprint != nullptr && *fingerprint != u'\0') {
            const std::u16string wide(fingerprint);
            const auto pin = tavik::tls::parseFingerprint(std::string(wide.begin(), wide.end()));
            const bool narrow =
                std::all_of(wide.begin(), wide.end(), [](char16_t c) { return c < 0x80; });
            if (!pin || !narrow) {
                return Result<int>::fail(ErrorReport::codeOnly(TAVIK_ERR_WRONG_PARAMETER));
            }
            security.pinnedFingerprint = *pin;
        }
        if (mode != TAVIK_SECURITY_OFF && mode != TAVIK_SECURITY_REQUIRED &&
            mode != TAVIK_SECURITY_PREFERRED) {
            return Result<int>::fail(ErrorReport::codeOnly(TAVIK_ERR_WRONG_PARAMETER));
        }
        return Result<int>::ok(tavik::SetDefaultSecurity(std::move(security)).mode);
    });
}

TAVIK_API int tavik_GetSessionSecurity(TAVIK_SESSION session) {
    return tavik::exportCall<int>(-1, [&] {
        CSession* found = CSessionRegistry::instance().Find(session);
        if (found == nullptr) {
            return Result<int>::fail(invalidHandle());
        }
        return Result<int>::ok(found->connection.IsSecure() ? 1 : 0);
    });
}

TAVIK_API LPCWSTR tavik_GetServerFingerprint(void) {
    // Like tavik_SetConnectTimeout: no handle, no last error.
    return tavik::LastServerFingerprint().c_str();
}

TAVIK_API int tavik_SetConnectTimeout(int timeout) {
    // A setting of the process, not of a session: it touches no handle and no last error.
    return tavik::SetConnectTimeout(timeout < 0 ? -1 : timeout);
}

TAVIK_API LPCWSTR tavik_GetSessionPath(TAVIK_SESSION session) {
    return tavik::exportCall<LPCWSTR>(nullptr,
                                      [&] { return sessionText(session, &CSession::path); });
}

TAVIK_API int tavik_GetSessionMode(TAVIK_SESSION session) {
    return tavik::exportCall<int>(0, [&] {
        CSession* found = CSessionRegistry::instance().Find(session);
        return found == nullptr ? Result<int>::fail(invalidHandle()) : Result<int>::ok(found->mode);
    });
}

TAVIK_API LPCWSTR tavik_GetSessionOpenUrl(TAVIK_SESSION session) {
    return tavik::exportCall<LPCWSTR>(nullptr,
                                      [&] { return sessionText(session, &CSession::openUrl); });
}

TAVIK_API LPCWSTR tavik_GetSessionMessage(TAVIK_SESSION session) {
    return tavik::exportCall<LPCWSTR>(nullptr,
                                      [&] { return sessionText(session, &CSession::message); });
}

TAVIK_API BOOL tavik_IsLargeFileSession(TAVIK_SESSION session) {
    return tavik::exportCall<BOOL>(0, [&] {
        CSession* found = CSessionRegistry::instance().Find(session);
        if (found == nullptr) {
            return Result<BOOL>::fail(invalidHandle());
        }
        return Result<BOOL>::ok(found->largeFiles ? 1 : 0);
    });
}

} // extern "C"

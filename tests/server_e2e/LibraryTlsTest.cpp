// Sessions over TLS, library against server: the security a caller chose is what it gets, a
// server that does not prove itself is a login failure of its own, and transfers, reconnects and
// duplicates keep TLS.
#include "tests/server/CServerHarness.h"
#include "tests/support/CTempFolder.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackIpv6.h"

#include "sdk/core/CSession.h"
#include "sdk/include/TavikSDK.h"
#include "tls/SelfSignedPair.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik::test {
namespace {

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string narrow(const char16_t* text) {
    std::string out;
    for (; text != nullptr && *text != u'\0'; ++text) {
        out += static_cast<char>(*text);
    }
    return out;
}

std::shared_ptr<const tls::CTlsContext> makeContext() {
    std::string error;
    const auto pair = tls::makeSelfSignedPair({"localhost", "127.0.0.1"}, error);
    return pair ? tls::CTlsContext::forServerPem(pair->certificate, pair->key, error) : nullptr;
}

class LibraryTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        context = makeContext();
        secure = new CServerHarness([](server::CServerConfig& c) { c.tls = context; });
        plainOnly = new CServerHarness;
    }
    static void TearDownTestSuite() {
        delete secure;
        delete plainOnly;
        context.reset();
    }
    void TearDown() override {
        tavik_SetSecurity(TAVIK_SECURITY_OFF, nullptr);
        for (TAVIK_SESSION session : sessions) {
            tavik_DestroySession(session);
        }
    }
    TAVIK_SESSION open(uint16_t port) {
        TAVIK_SESSION session = tavik_CreateSession(u"127.0.0.1", port, u"demo", nullptr, 20000);
        if (session != nullptr) {
            sessions.push_back(session);
        }
        return session;
    }
    static std::string pin() { return context->fingerprint(); }

    static std::shared_ptr<const tls::CTlsContext> context;
    static CServerHarness* secure;
    static CServerHarness* plainOnly;
    std::vector<TAVIK_SESSION> sessions;
};

std::shared_ptr<const tls::CTlsContext> LibraryTlsTest::context;
CServerHarness* LibraryTlsTest::secure = nullptr;
CServerHarness* LibraryTlsTest::plainOnly = nullptr;

TEST_F(LibraryTlsTest, EachChoiceOfSecurityMeetsEachServerAsItShould) {
    ASSERT_TRUE(context && secure->running() && plainOnly->running());
    std::string changed = pin();
    changed[1] = changed[1] == '0' ? '1' : '0';
    enum Pin { None, Right, Changed };
    struct Row {
        const char* what;
        int mode;
        Pin pin;
        bool tlsServer;
        int error;  // 0: a session
        int secure; // tavik_GetSessionSecurity of that session
    };
    const Row rows[] = {
        {"off, TLS server: plain on the same port", TAVIK_SECURITY_OFF, None, true, 0, 0},
        {"required, pinned", TAVIK_SECURITY_REQUIRED, Right, true, 0, 1},
        {"required, changed pin", TAVIK_SECURITY_REQUIRED, Changed, true, TAVIK_ERR_TLS_UNTRUSTED,
         0},
        {"required, unknown CA", TAVIK_SECURITY_REQUIRED, None, true, TAVIK_ERR_TLS_UNTRUSTED, 0},
        {"preferred, changed pin: no fallback", TAVIK_SECURITY_PREFERRED, Changed, true,
         TAVIK_ERR_TLS_UNTRUSTED, 0},
        {"preferred, pinned", TAVIK_SECURITY_PREFERRED, Right, true, 0, 1},
        {"required, plain-only server", TAVIK_SECURITY_REQUIRED, Right, false, TAVIK_ERR_TLS_FAILED,
         0},
        {"preferred, plain-only server", TAVIK_SECURITY_PREFERRED, Right, false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::u16string fingerprint = wide(row.pin == Right     ? pin()
                                                : row.pin == Changed ? changed
                                                                     : "");
        ASSERT_GE(tavik_SetSecurity(row.mode, fingerprint.c_str()), 0);
        TAVIK_SESSION session = open(row.tlsServer ? secure->port() : plainOnly->port());
        if (row.error != 0) {
            EXPECT_EQ(session, nullptr);
            EXPECT_EQ(tavik_GetLastError(), row.error);
            EXPECT_NE(narrow(tavik_GetLastErrStr())
                          .find(row.error == TAVIK_ERR_TLS_UNTRUSTED ? "not trusted"
                                                                     : "secure connection failed"),
                      std::string::npos)
                << narrow(tavik_GetLastErrStr());
        } else {
            ASSERT_NE(session, nullptr) << tavik_GetLastError() << narrow(tavik_GetLastErrStr());
            EXPECT_EQ(tavik_GetSessionSecurity(session), row.secure);
            EXPECT_EQ(tavik_GetFileSize(u"/demo", session), 0) << tavik_GetLastError();
        }
        // The certificate shown, also by a refused server: what a person is asked to trust.
        const bool shown = row.mode != TAVIK_SECURITY_OFF && row.tlsServer;
        EXPECT_EQ(narrow(tavik_GetServerFingerprint()), shown ? pin() : "");
    }
}

TEST_F(LibraryTlsTest, WrongSettingsAreRefusedAndChangeNothing) {
    ASSERT_EQ(tavik_SetSecurity(TAVIK_SECURITY_REQUIRED, nullptr), TAVIK_SECURITY_OFF);
    const char16_t* wrongPins[] = {u"AB:CD", u"not hex at all", u"SHA256:", u"말"};
    for (const char16_t* wrongPin : wrongPins) {
        EXPECT_EQ(tavik_SetSecurity(TAVIK_SECURITY_OFF, wrongPin), -1);
        EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    }
    EXPECT_EQ(tavik_SetSecurity(3, nullptr), -1);
    EXPECT_EQ(tavik_SetSecurity(TAVIK_SECURITY_OFF, nullptr), TAVIK_SECURITY_REQUIRED);
    EXPECT_EQ(tavik_GetSessionSecurity(nullptr), -1);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_INVALID_HANDLE);
}

TEST_F(LibraryTlsTest, TransfersReconnectsAndDuplicatesStayOnTls) {
    tavik_SetSecurity(TAVIK_SECURITY_REQUIRED, wide(pin()).c_str());
    TAVIK_SESSION session = open(secure->port());
    ASSERT_NE(session, nullptr) << tavik_GetLastError();
    // Sessions keep what they were created with, whatever the process chooses later.
    tavik_SetSecurity(TAVIK_SECURITY_OFF, nullptr);
    CTempFolder local;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{65537}, size_t{1} << 20}) {
        SCOPED_TRACE(size);
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            content[i] = static_cast<char>(i * 7 + i / 251);
        }
        writeFile(local.file("up.bin"), content);
        const std::string up = local.file("up.bin");
        const std::string down = local.file("down.bin");
        TAVIK_TRANSFER upload{};
        upload.pszSrcPath = up.c_str();
        upload.pszDstPath = "/demo/file.bin";
        upload.dwEndPos = static_cast<DWORD>(size);
        upload.bTrunc = 1;
        ASSERT_TRUE(tavik_Upload(session, &upload, nullptr)) << tavik_GetLastError();
        EXPECT_EQ(readFile(secure->disk("file.bin")), content);
        TAVIK_TRANSFER download{};
        download.pszSrcPath = "/demo/file.bin";
        download.pszDstPath = down.c_str();
        download.dwEndPos = static_cast<DWORD>(size);
        download.bTrunc = 1;
        ASSERT_TRUE(tavik_Download(session, &download, nullptr)) << tavik_GetLastError();
        EXPECT_EQ(readFile(down), content);
    }
    // A dropped connection is made again by the next command, over TLS again.
    static_cast<CSession*>(session)->connection.Close();
    EXPECT_EQ(tavik_GetFileSize(u"/demo/file.bin", session), 1 << 20);
    EXPECT_EQ(tavik_GetSessionSecurity(session), 1);
    TAVIK_SESSION copy = tavik_DuplicateSession(session);
    ASSERT_NE(copy, nullptr);
    sessions.push_back(copy);
    EXPECT_EQ(tavik_GetSessionSecurity(copy), 1);
}

TEST_F(LibraryTlsTest, IPv6LoopbackEndToEnd) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    CServerHarness six([](server::CServerConfig& c) {
        c.addresses = {"::1"};
        c.tls = context;
    });
    ASSERT_TRUE(six.running());
    tavik_SetSecurity(TAVIK_SECURITY_REQUIRED, wide(pin()).c_str());
    for (const char16_t* host : {u"::1", u"[::1]"}) {
        TAVIK_SESSION session = tavik_CreateSession(host, six.port(), u"demo", nullptr, 20000);
        ASSERT_NE(session, nullptr) << tavik_GetLastError() << narrow(tavik_GetLastErrStr());
        sessions.push_back(session);
        EXPECT_EQ(tavik_GetSessionSecurity(session), 1);
        EXPECT_EQ(tavik_GetFileSize(u"/demo", session), 0);
    }
}

} // namespace
} // namespace tavik::test

// A library session with the reference server over IPv6 loopback, beside IPv4 on the same port.
#include "tests/server/CServerHarness.h"
#include "tests/support/FileBytes.h"
#include "tests/support/LoopbackIpv6.h"

#include "sdk/include/TavikSDK.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik::test {
namespace {

TEST(LibraryIpv6, SessionsOverIpv6LiteralsAndIpv4ShareTheDisk) {
    TAVIK_SKIP_WITHOUT_IPV6_LOOPBACK();
    CServerHarness harness([](server::CServerConfig& config) {
        config.addresses = {"127.0.0.1", "::1"};
    });
    ASSERT_TRUE(harness.running());
    writeFile(harness.disk("v6.txt"), "over six");
    for (const char16_t* host : {u"::1", u"[::1]", u"127.0.0.1"}) {
        const std::u16string shown(host);
        TAVIK_SESSION session = tavik_CreateSession(host, harness.port(), u"demo", nullptr, 20000);
        ASSERT_NE(session, nullptr) << tavik_GetLastError();
        int count = 0;
        TAVIK_FILEINFO_LIST* list = tavik_OpenFileInfo(u"/demo", 63, 1, &count, session);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(count, 2);
        EXPECT_EQ(std::u16string(tavik_ReadFileInfo(list, 1)->pszName), u"/demo/v6.txt");
        EXPECT_EQ(tavik_ReadFileInfo(list, 1)->dwSize, DWORD{8});
        tavik_CloseFileInfo(list);
        tavik_DestroySession(session);
    }
}

} // namespace
} // namespace tavik::test

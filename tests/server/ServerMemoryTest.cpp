// Memory the server's sessions free must go back to the system, not stay resident in the
// allocator: the allocator's trim is counted here by standing in for it.
#include "server/CClientSession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>

namespace {

std::atomic<int> trims{0};

} // namespace

// Stands in for the C library's malloc_trim in this program (the server's code is linked in),
// counts the call and passes it on.
extern "C" int malloc_trim(size_t pad) noexcept {
    ++trims;
    using Trim = int (*)(size_t);
    static const auto real = reinterpret_cast<Trim>(::dlsym(RTLD_NEXT, "malloc_trim"));
    return real != nullptr ? real(pad) : 0;
}

namespace tavik::test {
namespace {

using server::CClientSession;
using server::DirCursor;

DirCursor cursorOf(size_t bytes) {
    DirCursor cursor;
    cursor.names.assign(bytes, 'n');
    return cursor;
}

// Each session holds far less than the amount after which freed memory is given back, but
// together they free several times that.
TEST(SessionMemory, CursorsOfManySmallSessionsAreGivenBackToTheSystem) {
    struct Row {
        const char* name;
        bool closeEach; // closed one by one, or left to the session's end
    };
    for (const Row row :
         {Row{"left open until the session ends", false}, Row{"closed one by one", true}}) {
        const int before = trims.load();
        for (int session = 0; session < 16; ++session) {
            CClientSession client(64);
            for (int cursor = 0; cursor < 3; ++cursor) {
                const int32_t number = client.addDir(cursorOf(100 * 1024));
                ASSERT_NE(number, 0) << row.name;
                if (row.closeEach) {
                    EXPECT_TRUE(client.closeDir(number)) << row.name;
                }
            }
        }
        EXPECT_GE(trims.load() - before, 2) << row.name;
    }
}

} // namespace
} // namespace tavik::test

// Namespace operations: their requests, and the new folder's name of MakeFolder2.
#include "tests/ops/OpsFixture.h"

namespace tavik::test {
namespace {

class NamespaceTest : public OpsTest {};

TEST_F(NamespaceTest, EachOperationSendsItsCommandAndPaths) {
    server.expectLogin()
        .expect("createdir")
        .reply({})
        .expect("createfile")
        .reply({})
        .expect("deletefile")
        .reply({})
        .expect("deletefile")
        .reply({})
        .expect("renamefile")
        .reply({})
        .expect("movefile")
        .reply({})
        .expect("copyfile")
        .reply({{"error", 23005}});
    connect();
    EXPECT_EQ(tavik_MakeFolder(u"/disk/new", session), 1);
    EXPECT_EQ(tavik_CreateFile(u"/disk/new.txt", session), 1);
    EXPECT_EQ(tavik_DeleteFile(u"/disk/a", 0, session), 1);
    EXPECT_EQ(tavik_DeleteFile(u"/disk/b", -2, session), 1);
    EXPECT_EQ(tavik_RenameFile(u"/disk/old", u"/disk/새", session), 1);
    EXPECT_EQ(tavik_MoveFile(u"/disk/x", u"/disk/to", session), 1);
    EXPECT_EQ(tavik_CopyFile(u"/disk/x", u"/disk/to", session), 0);
    EXPECT_EQ(tavik_GetLastError(), 23005);

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("fullpath"), "/disk/new");
    EXPECT_EQ(server.packet(2).str("fullpath"), "/disk/new.txt");

    const CFakePacket& plain = server.packet(3);
    EXPECT_EQ(plain.items.size(), 2u);
    EXPECT_EQ(plain.str("path"), "/disk/a");
    const CFakePacket& forced = server.packet(4);
    EXPECT_EQ(forced.items.size(), 3u);
    EXPECT_EQ(forced.str("opt"), "force");

    EXPECT_EQ(server.packet(5).str("oldpath"), "/disk/old");
    EXPECT_EQ(server.packet(5).str("newpath"), "/disk/\xBB\xF5"); // "새" in CP949
    for (size_t i : {6u, 7u}) {
        EXPECT_EQ(server.packet(i).str("srcpath"), "/disk/x");
        EXPECT_EQ(server.packet(i).str("dirpath"), "/disk/to");
        EXPECT_EQ(server.packet(i).items.size(), 3u);
    }
}

TEST_F(NamespaceTest, MakeFolder2CopiesTheNameLikeABoundedWideCopy) {
    server.expectLogin()
        .expect("createdir")
        .reply({{"path", "/disk/docs/\xBB\xF5 \xC6\xFA\xB4\xF5"}}) // "새 폴더"
        .expect("createdir")
        .reply({{"path", "/disk/docs/abcde"}});
    connect();

    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(tavik_MakeFolder2(u"/disk/docs", buffer, 7, session), 1);
    EXPECT_EQ(std::u16string(buffer, 8), std::u16string(u"새 폴더\0\0\0#", 8));

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(tavik_MakeFolder2(u"/disk/docs", buffer, 3, session), 1);
    EXPECT_EQ(std::u16string(buffer, 4), u"abc#"); // no terminator

    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packet(1).str("basepath"), "/disk/docs");
    EXPECT_FALSE(server.packet(1).has("fullpath"));
}

TEST_F(NamespaceTest, MakeFolder2LeavesTheBufferAloneOnFailure) {
    server.expectLogin()
        .expect("createdir")
        .reply({{"error", 23005}, {"path", "/disk/docs/x"}})
        .expect("createdir")
        .reply({{"path", "/disk/docs/"}})
        .expect("createdir")
        .reply({{"path", "/d"}})
        .expect("createdir")
        .reply({});
    connect();
    char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(tavik_MakeFolder2(u"/disk/docs", buffer, 4, session), 0);
    EXPECT_EQ(tavik_GetLastError(), 23005);
    // A path without a name after the base path cannot be cut.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tavik_MakeFolder2(u"/disk/docs", buffer, 4, session), 0);
        EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PACKET);
    }
    EXPECT_EQ(std::u16string(buffer, 4), u"####");
    EXPECT_EQ(tavik_MakeFolder2(u"/disk/docs", nullptr, 4, session), 0);
    EXPECT_EQ(tavik_GetLastError(), TAVIK_ERR_WRONG_PARAMETER);
    ASSERT_TRUE(server.finish());
    EXPECT_EQ(server.packets().size(), 5u);
}

} // namespace
} // namespace tavik::test

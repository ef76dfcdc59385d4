#include "cli/core/CRemotePath.h"

#include <gtest/gtest.h>

namespace tavik::cli {
namespace {

TEST(RemotePathTest, RelativePathsHangOffTheSessionPath) {
    EXPECT_EQ(CRemotePath::resolve("/disk1", "docs/a.txt"), "/disk1/docs/a.txt");
    EXPECT_EQ(CRemotePath::resolve("/disk1/", "docs/"), "/disk1/docs");
    EXPECT_EQ(CRemotePath::resolve("/disk1", ""), "/disk1");
    EXPECT_EQ(CRemotePath::resolve("/disk1", "."), "/disk1");
    EXPECT_EQ(CRemotePath::resolve("/", "a"), "/a");
    EXPECT_EQ(CRemotePath::resolve("", "a"), "/a"); // a server that sent no path
    EXPECT_EQ(CRemotePath::resolve("/disk1", "사진/여름.jpg"), "/disk1/사진/여름.jpg");
}

// Paths are the disk's: "/" is the disk's root (the session path), and nothing typed reaches
// above it, so another disk's folders are never named by accident.
TEST(RemotePathTest, LeadingSlashIsTheDisksRoot) {
    struct Row {
        const char* typed;
        const char* full;
    };
    const Row rows[] = {
        {"/docs", "/disk1/docs"}, {"/", "/disk1"},          {"/../other/x", "/disk1/other/x"},
        {"../x", "/disk1/x"},     {"a/../../..", "/disk1"}, {"//a//b/", "/disk1/a/b"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CRemotePath::resolve("/disk1", row.typed), row.full) << row.typed;
        // What messages show is the typed path's meaning, from the disk's root.
        EXPECT_EQ(CRemotePath::onDisk("/disk1", row.full),
                  CRemotePath::normalize(std::string("/") + row.typed))
            << row.typed;
    }
    EXPECT_EQ(CRemotePath::resolve("/", "/x"), "/x");
    EXPECT_EQ(CRemotePath::onDisk("/", "/x"), "/x");
    EXPECT_EQ(CRemotePath::onDisk("/disk1", "/disk10/x"), "/disk10/x"); // not inside: kept
}

TEST(RemotePathTest, NormalizeFoldsSeparatorsDotsAndDotDots) {
    EXPECT_EQ(CRemotePath::normalize("//a///b/"), "/a/b");
    EXPECT_EQ(CRemotePath::normalize("/a/./b/../c"), "/a/c");
    EXPECT_EQ(CRemotePath::normalize("/a/../../.."), "/");
    EXPECT_EQ(CRemotePath::normalize("/a/..b/c.."), "/a/..b/c..");
    EXPECT_EQ(CRemotePath::resolve("/disk1/sub", "../x"), "/disk1/sub/x");
}

TEST(RemotePathTest, Pieces) {
    EXPECT_EQ(CRemotePath::baseName("/a/b.txt"), "b.txt");
    EXPECT_EQ(CRemotePath::baseName("/a/dir/"), "dir");
    EXPECT_EQ(CRemotePath::baseName("/"), "");
    EXPECT_EQ(CRemotePath::parent("/a/b.txt"), "/a");
    EXPECT_EQ(CRemotePath::parent("/top"), "/");
    EXPECT_EQ(CRemotePath::parent("/"), "/");
    EXPECT_EQ(CRemotePath::join("/a", "b"), "/a/b");
    EXPECT_EQ(CRemotePath::join("/a/", "/b"), "/a/b");
    EXPECT_EQ(CRemotePath::join("/", "b"), "/b");
    EXPECT_TRUE(CRemotePath::same("/a/b/", "/a//b"));
    EXPECT_FALSE(CRemotePath::same("/a/b", "/a/bc"));
}

} // namespace
} // namespace tavik::cli

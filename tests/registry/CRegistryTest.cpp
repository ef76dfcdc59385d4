// The registry emulation: persistence, types, case-insensitive names, key deletion, sharing
// between handles and processes, and damaged stores.
#include "platform/CRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace tavik::platform;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits at most 60 seconds for a child process; kills it after that. The exit status, or -1.
int waitForChild(pid_t child) {
    for (int i = 0; i < 6000; ++i) {
        int status = 0;
        pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tavik-registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        store_ = folder_ / "config" / "tavik" / "registry.db";
        ::setenv("TAVIK_REGISTRY", store_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TAVIK_REGISTRY");
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path folder_;
    fs::path store_;
};

} // namespace

TEST_F(RegistryTest, ValuesSurviveReopenWithTheirTypesAndBytes) {
    {
        CRegistry key;
        ASSERT_EQ(key.create(HKEY_CURRENT_USER, u"Software\\tavik\\tavik\\user"), kRegSuccess);
        EXPECT_TRUE(fs::exists(store_));
        EXPECT_EQ(key.setString(u"ALL", u"kim@tavik.example,이순신@tavik.example"), kRegSuccess);
        EXPECT_EQ(key.setString(u"", u"ab"), kRegSuccess);
        EXPECT_EQ(key.setDword(u"PwSave", 0x01020304u), kRegSuccess);
        EXPECT_EQ(key.setBinary(u"password", {0x00, 0xFF, 0x00, 0x41}), kRegSuccess);
        EXPECT_EQ(key.setBinary(u"empty", {}), kRegSuccess);
    }
    CRegistry key;
    ASSERT_EQ(key.open(HKEY_CURRENT_USER, u"Software\\tavik\\tavik\\user"), kRegSuccess);
    std::u16string text;
    EXPECT_EQ(key.queryString(u"ALL", text), kRegSuccess);
    EXPECT_EQ(text, u"kim@tavik.example,이순신@tavik.example");

    // The default value is stored as REG_SZ: UTF-16LE with its terminator.
    RegistryValue raw;
    ASSERT_EQ(key.queryValue(u"", raw), kRegSuccess);
    EXPECT_EQ(raw.type, kRegSz);
    EXPECT_EQ(raw.data, (std::vector<uint8_t>{'a', 0, 'b', 0, 0, 0}));

    ASSERT_EQ(key.queryValue(u"PwSave", raw), kRegSuccess);
    EXPECT_EQ(raw.type, kRegDword);
    EXPECT_EQ(raw.data, (std::vector<uint8_t>{4, 3, 2, 1}));

    std::vector<uint8_t> bytes;
    EXPECT_EQ(key.queryBinary(u"password", bytes), kRegSuccess);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0xFF, 0x00, 0x41}));
    EXPECT_EQ(key.queryBinary(u"empty", bytes), kRegSuccess);
    EXPECT_TRUE(bytes.empty());

    // A typed read of another type is refused rather than reinterpreted.
    uint32_t number = 7;
    EXPECT_EQ(key.queryDword(u"ALL", number), kRegUnsupportedType);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(key.queryString(u"PwSave", text), kRegUnsupportedType);

    // The two roots are separate trees.
    CRegistry machine;
    EXPECT_EQ(machine.open(HKEY_LOCAL_MACHINE, u"Software\\tavik\\tavik\\user"), kRegFileNotFound);
}

TEST_F(RegistryTest, QueryValueFollowsTheBufferRules) {
    CRegistry key;
    ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\test"), kRegSuccess);
    ASSERT_EQ(key.setString(u"name", u"abc"), kRegSuccess);

    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(key.queryValue(u"name", &type, nullptr, &size), kRegSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 8u);

    char16_t small[2] = {u'x', u'x'};
    size = sizeof(small);
    EXPECT_EQ(key.queryValue(u"name", nullptr, small, &size), kRegMoreData);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(small[0], u'x');

    char16_t exact[4] = {};
    size = sizeof(exact);
    EXPECT_EQ(key.queryValue(u"name", nullptr, exact, &size), kRegSuccess);
    EXPECT_EQ(std::u16string(exact, 4), std::u16string(u"abc\0", 4));

    EXPECT_EQ(key.queryValue(u"missing", &type, nullptr, &size), kRegFileNotFound);
    EXPECT_EQ(key.deleteValue(u"missing"), kRegFileNotFound);
    const uint8_t three[3] = {1, 2, 3};
    EXPECT_EQ(key.setValue(u"short", kRegDword, three, 3), kRegInvalidParameter);
    EXPECT_EQ(key.create(key, std::u16string(256, u'k')), kRegInvalidParameter);

    CRegistry closed;
    EXPECT_EQ(closed.setDword(u"x", 1), kRegInvalidHandle);
}

TEST_F(RegistryTest, NamesCompareCaseInsensitivelyAndKeepTheirFirstSpelling) {
    CRegistry key;
    ASSERT_EQ(key.create(HKEY_CURRENT_USER, u"Software\\Tavik\\Tavik\\kim@Tavik"), kRegSuccess);
    ASSERT_EQ(key.setString(u"Id", u"kim"), kRegSuccess);

    CRegistry same;
    ASSERT_EQ(same.open(HKEY_CURRENT_USER, u"SOFTWARE\\tavik\\TAVIK\\KIM@tavik"), kRegSuccess);
    std::u16string text;
    EXPECT_EQ(same.queryString(u"id", text), kRegSuccess);
    EXPECT_EQ(text, u"kim");

    // Writing under another spelling replaces the value; the first spelling stays.
    ASSERT_EQ(same.setString(u"ID", u"lee"), kRegSuccess);
    std::vector<std::u16string> names;
    ASSERT_EQ(key.enumValues(names), kRegSuccess);
    EXPECT_EQ(names, std::vector<std::u16string>{u"Id"});
    EXPECT_EQ(key.queryString(u"iD", text), kRegSuccess);
    EXPECT_EQ(text, u"lee");

    // Letters beyond ASCII fold too; Hangul has no case and stays distinct per syllable.
    ASSERT_EQ(key.setDword(u"ÄÖ Привет", 1), kRegSuccess);
    uint32_t number = 0;
    EXPECT_EQ(key.queryDword(u"äö привет", number), kRegSuccess);
    EXPECT_EQ(number, 1u);
    ASSERT_EQ(key.setDword(u"한글", 2), kRegSuccess);
    EXPECT_EQ(key.queryDword(u"한글", number), kRegSuccess);
    EXPECT_EQ(number, 2u);
    EXPECT_EQ(key.queryDword(u"한", number), kRegFileNotFound);

    CRegistry parent;
    ASSERT_EQ(parent.open(HKEY_CURRENT_USER, u"software\\tavik\\tavik"), kRegSuccess);
    ASSERT_EQ(parent.enumSubKeys(names), kRegSuccess);
    EXPECT_EQ(names, std::vector<std::u16string>{u"kim@Tavik"});
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsSubkeysAndValues) {
    CRegistry deep;
    ASSERT_EQ(deep.create(HKEY_CURRENT_USER, u"A\\B\\C\\D"), kRegSuccess);
    ASSERT_EQ(deep.setDword(u"x", 1), kRegSuccess);
    CRegistry sibling;
    ASSERT_EQ(sibling.create(HKEY_CURRENT_USER, u"A\\Other"), kRegSuccess);
    ASSERT_EQ(sibling.setDword(u"kept", 5), kRegSuccess);

    EXPECT_EQ(CRegistry::deleteKey(HKEY_CURRENT_USER, u"a\\b"), kRegSuccess);
    CRegistry probe;
    EXPECT_EQ(probe.open(HKEY_CURRENT_USER, u"A\\B\\C\\D"), kRegFileNotFound);
    EXPECT_EQ(probe.open(HKEY_CURRENT_USER, u"A\\B"), kRegFileNotFound);
    ASSERT_EQ(probe.open(HKEY_CURRENT_USER, u"A\\Other"), kRegSuccess);
    uint32_t number = 0;
    EXPECT_EQ(probe.queryDword(u"kept", number), kRegSuccess);
    EXPECT_EQ(CRegistry::deleteKey(HKEY_CURRENT_USER, u"A\\B"), kRegFileNotFound);
    EXPECT_EQ(CRegistry::deleteKey(HKEY_CURRENT_USER, u""), kRegInvalidParameter);

    // A handle to a deleted key cannot write into the void, nor into a key made later in the
    // same place.
    EXPECT_EQ(deep.setDword(u"x", 2), kRegKeyDeleted);
    CRegistry again;
    ASSERT_EQ(again.create(HKEY_CURRENT_USER, u"A\\B\\C\\D"), kRegSuccess);
    EXPECT_EQ(again.queryDword(u"x", number), kRegFileNotFound);
    EXPECT_EQ(deep.queryDword(u"x", number), kRegKeyDeleted);
}

TEST_F(RegistryTest, TwoHandlesInOneProcessSeeEachOthersCommittedWrites) {
    CRegistry writer;
    CRegistry reader;
    ASSERT_EQ(writer.create(HKEY_CURRENT_USER, u"Software\\shared"), kRegSuccess);
    ASSERT_EQ(reader.open(HKEY_CURRENT_USER, u"Software\\shared"), kRegSuccess);
    ASSERT_EQ(writer.setDword(u"n", 1), kRegSuccess);
    uint32_t number = 0;
    ASSERT_EQ(reader.queryDword(u"n", number), kRegSuccess);
    EXPECT_EQ(number, 1u);
    ASSERT_EQ(reader.setDword(u"n", 2), kRegSuccess);
    ASSERT_EQ(writer.queryDword(u"n", number), kRegSuccess);
    EXPECT_EQ(number, 2u);

    // Writers on two threads, each with its own connection, wait for each other's locks.
    auto writeMany = [](std::u16string prefix) {
        CRegistry key;
        int failures = key.create(HKEY_CURRENT_USER, u"Software\\shared") != kRegSuccess;
        for (int i = 0; i < 40; ++i) {
            std::string digits = std::to_string(i);
            failures += key.setDword(prefix + std::u16string(digits.begin(), digits.end()), i) != 0;
        }
        return failures;
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a([&] { failuresA = writeMany(u"a"); });
    std::thread b([&] { failuresB = writeMany(u"b"); });
    a.join();
    b.join();
    EXPECT_EQ(failuresA + failuresB, 0);
    std::vector<std::u16string> names;
    ASSERT_EQ(reader.enumValues(names), kRegSuccess);
    EXPECT_EQ(names.size(), 81u);
}

TEST_F(RegistryTest, ASecondProcessSeesCommittedWritesBothWays) {
    CRegistry key;
    ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\cross"), kRegSuccess);
    ASSERT_EQ(key.setString(u"from parent", u"부모"), kRegSuccess);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child opens its own connection; the parent's is never used here.
        CRegistry own;
        std::u16string text;
        int status = own.open(HKEY_LOCAL_MACHINE, u"software\\CROSS") != kRegSuccess ? 10
                     : own.queryString(u"FROM PARENT", text) != kRegSuccess          ? 11
                     : text != u"부모"                                               ? 12
                     : own.setString(u"from child", u"자식") != kRegSuccess          ? 13
                                                                                     : 0;
        ::_exit(status);
    }
    ASSERT_EQ(waitForChild(child), 0);
    std::u16string text;
    ASSERT_EQ(key.queryString(u"from child", text), kRegSuccess);
    EXPECT_EQ(text, u"자식");
}

TEST_F(RegistryTest, ADamagedStoreIsReportedAndLeftAsItIs) {
    fs::create_directories(store_.parent_path());
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 3));
    }
    {
        std::ofstream out(store_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(garbage.data()),
                  static_cast<std::streamsize>(garbage.size()));
    }
    CRegistry key;
    EXPECT_EQ(key.create(HKEY_CURRENT_USER, u"Software\\x"), kRegRegistryCorrupt);
    EXPECT_FALSE(key.isOpen());
    std::string why = CRegistry::lastFailureText();
    EXPECT_NE(why.find(store_.string()), std::string::npos) << why;
    EXPECT_NE(why.find("damaged"), std::string::npos) << why;
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, u""), kRegRegistryCorrupt);
    EXPECT_EQ(CRegistry::deleteKey(HKEY_CURRENT_USER, u"Software"), kRegRegistryCorrupt);
    EXPECT_EQ(readBytes(store_), garbage);
}

TEST_F(RegistryTest, AnotherProgramsDatabaseIsNotTakenForAnEmptyStore) {
    // A valid SQLite file that carries another program's mark in its header.
    {
        CRegistry key;
        ASSERT_EQ(key.create(HKEY_CURRENT_USER, u"Software"), kRegSuccess);
    }
    std::vector<uint8_t> bytes = readBytes(store_);
    ASSERT_GT(bytes.size(), 72u);
    // The application id lives at offset 68 of the database header, big-endian.
    bytes[68] = 0x12;
    bytes[69] = 0x34;
    bytes[70] = 0x56;
    bytes[71] = 0x78;
    fs::remove(store_.string() + "-wal");
    fs::remove(store_.string() + "-shm");
    {
        std::ofstream out(store_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    CRegistry key;
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, u"Software"), kRegRegistryCorrupt);
    EXPECT_EQ(readBytes(store_), bytes);
}

TEST_F(RegistryTest, AStoreThatCannotBeOpenedIsReportedWithItsPath) {
    fs::create_directories(store_);
    CRegistry key;
    EXPECT_EQ(key.create(HKEY_CURRENT_USER, u"Software"), kRegCantOpen);
    EXPECT_NE(CRegistry::lastFailureText().find(store_.string()), std::string::npos);
    EXPECT_TRUE(fs::is_directory(store_));
}

TEST_F(RegistryTest, AMissingStoreIsNotCreatedByReads) {
    CRegistry key;
    EXPECT_EQ(key.open(HKEY_CURRENT_USER, u"Software"), kRegFileNotFound);
    EXPECT_EQ(CRegistry::lastFailureText(), "");
    EXPECT_FALSE(fs::exists(store_));
    EXPECT_FALSE(fs::exists(store_.parent_path()));
}

TEST_F(RegistryTest, TheStorePathFollowsTheEnvironment) {
    EXPECT_EQ(CRegistry::storePath(), store_.string());
    ::unsetenv("TAVIK_REGISTRY");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::string savedConfig = oldConfig != nullptr ? oldConfig : "";
    ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(CRegistry::storePath(), "/somewhere/config/tavik/registry.db");
    ::unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        EXPECT_EQ(CRegistry::storePath(), std::string(home) + "/.config/tavik/registry.db");
    }
    if (oldConfig != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    }
}

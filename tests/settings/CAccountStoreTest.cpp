// The account and settings store against a fresh registry file per test.
#include "app/settings/CAccountStore.h"
#include "app/settings/CProfile.h"
#include "app/settings/CSecuritySetting.h"
#include "codec/PasswordScrambler.h"
#include "platform/CRegistry.h"
#include "tests/support/CTempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace tavik::app {
namespace {

using platform::CRegistry;

class AccountStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TAVIK_REGISTRY", folder_.file("registry.db").c_str(), 1); }
    void TearDown() override { ::unsetenv("TAVIK_REGISTRY"); }

    // The value names of a profile section, in the order they were first written.
    static std::vector<std::u16string> ValueNames(std::u16string_view section) {
        CRegistry key;
        std::vector<std::u16string> names;
        if (key.open(platform::HKEY_CURRENT_USER,
                     std::u16string(CProfile::kRootKey) + u"\\" + std::u16string(section)) == 0) {
            key.enumValues(names);
        }
        return names;
    }
    static void ResetRegistry() {
        CRegistry::deleteKey(platform::HKEY_CURRENT_USER, u"Software");
        ASSERT_TRUE(Sections().empty());
    }
    static std::vector<std::u16string> Sections() {
        CRegistry key;
        std::vector<std::u16string> names;
        if (key.open(platform::HKEY_CURRENT_USER, CProfile::kRootKey) == 0) {
            key.enumSubKeys(names);
        }
        return names;
    }

    test::CTempFolder folder_;
    CAccountStore store_;
    CProfile profile_;
};

CAccountGlobals Account(std::u16string user, std::u16string domain, std::u16string password,
                        bool savePassword = true, bool autoLogin = false) {
    CAccountGlobals account;
    account.userName = std::move(user);
    account.domainSuffix = u"@" + domain;
    account.password = std::move(password);
    account.savePassword = savePassword;
    account.autoLogin = autoLogin;
    return account;
}

// Scenarios of logins that save (S) or delete (D) accounts, and what the registry holds after.
struct Step {
    char op; // 'S' save, 'D' delete
    CAccountGlobals account;
};
struct Scenario {
    const char* name;
    std::vector<Step> steps;
    std::u16string all;
    std::u16string id;
    std::vector<std::u16string> sections; // besides "user"
};

TEST_F(AccountStoreTest, SaveAndDeleteScenarios) {
    const CAccountGlobals a = Account(u"kim", u"tavik.local", u"pw-a");
    const CAccountGlobals b = Account(u"lee", u"corp.test", u"pw-b");
    // "ba" ends with "a": a text search would cut the wrong account out of ALL.
    const CAccountGlobals ba = Account(u"skim", u"tavik.local", u"pw-c");
    const std::vector<Scenario> scenarios = {
        {"same account saved twice",
         {{'S', a}, {'S', a}},
         u"kim@tavik.local",
         u"kim@tavik.local",
         {u"kim@tavik.local"}},
        {"A then B",
         {{'S', a}, {'S', b}},
         u"kim@tavik.local,lee@corp.test",
         u"lee@corp.test",
         {u"kim@tavik.local", u"lee@corp.test"}},
        {"A, B, delete A",
         {{'S', a}, {'S', b}, {'D', a}},
         u"lee@corp.test",
         u"lee@corp.test",
         {u"lee@corp.test"}},
        {"delete the last used",
         {{'S', a}, {'S', b}, {'D', b}},
         u"kim@tavik.local",
         u"",
         {u"kim@tavik.local"}},
        {"delete the only account", {{'S', a}, {'D', a}}, u"", u"", {}},
        {"item, not text, removed",
         {{'S', ba}, {'S', a}, {'D', a}},
         u"skim@tavik.local",
         u"",
         {u"skim@tavik.local"}},
        {"delete an unknown account",
         {{'S', a}, {'D', b}},
         u"kim@tavik.local",
         u"kim@tavik.local",
         {u"kim@tavik.local"}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        ResetRegistry();
        for (const Step& step : scenario.steps) {
            if (step.op == 'S') {
                ASSERT_EQ(store_.Save(step.account), SaveResult::Saved);
            } else {
                ASSERT_TRUE(store_.Delete(step.account));
            }
        }
        EXPECT_EQ(profile_.GetString(u"user", u"ALL", u"?"), scenario.all);
        EXPECT_EQ(profile_.GetString(u"user", u"id", u"?"), scenario.id);
        std::vector<std::u16string> expected = scenario.sections;
        expected.insert(expected.begin(), u"user");
        std::vector<std::u16string> sections = Sections();
        std::sort(sections.begin(), sections.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sections, expected);
    }
}

TEST_F(AccountStoreTest, SavedAccountHasItsValuesAndComesBack) {
    const CAccountGlobals saved = Account(u"kim", u"corp.test", u"비밀pw1", true, true);
    ASSERT_EQ(store_.Save(saved), SaveResult::Saved);

    EXPECT_EQ(ValueNames(u"user"),
              (std::vector<std::u16string>{u"ALL", u"id", u"Auto", u"PwSave"}));
    EXPECT_EQ(ValueNames(u"kim@corp.test"),
              (std::vector<std::u16string>{u"Id", u"sitename", u"password"}));
    EXPECT_EQ(profile_.GetInt(u"user", u"Auto", 7), 1u);
    EXPECT_EQ(profile_.GetString(u"kim@corp.test", u"sitename", u""), u"@corp.test");
    std::optional<std::vector<uint8_t>> stored = profile_.GetBinary(u"kim@corp.test", u"password");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, ScramblePassword(saved.password));
    EXPECT_EQ(stored->size(), 2 * saved.password.size());

    CAccountGlobals loaded;
    loaded.savePassword = false;
    store_.Load(loaded);
    EXPECT_EQ(loaded.userName, saved.userName);
    EXPECT_EQ(loaded.domainSuffix, saved.domainSuffix);
    EXPECT_EQ(loaded.password, saved.password);
    EXPECT_TRUE(loaded.autoLogin);
    EXPECT_TRUE(loaded.savePassword);

    ASSERT_EQ(store_.Save(Account(u"lee", u"tavik.local", u"")), SaveResult::Saved);
    EXPECT_EQ(store_.List(),
              (std::vector<SavedAccount>{{u"kim@corp.test", u"kim", u"corp.test", u"비밀pw1"},
                                         {u"lee@tavik.local", u"lee", u"tavik.local", u""}}));
}

TEST_F(AccountStoreTest, SavesThatWriteLittleOrNothing) {
    // Save password off: only PwSave, and what was saved before stays.
    ASSERT_EQ(store_.Save(Account(u"kim", u"tavik.local", u"pw")), SaveResult::Saved);
    ASSERT_EQ(store_.Save(Account(u"lee", u"tavik.local", u"pw", false)), SaveResult::Saved);
    EXPECT_EQ(profile_.GetInt(u"user", u"PwSave", 9), 0u);
    EXPECT_EQ(profile_.GetString(u"user", u"ALL", u""), u"kim@tavik.local");
    EXPECT_EQ(profile_.GetString(u"user", u"id", u""), u"kim@tavik.local");
    ResetRegistry();
    ASSERT_EQ(store_.Save(Account(u"lee", u"tavik.local", u"pw", false)), SaveResult::Saved);
    EXPECT_EQ(Sections(), std::vector<std::u16string>{u"user"});
    EXPECT_EQ(ValueNames(u"user"), std::vector<std::u16string>{u"PwSave"});

    // Refused saves write nothing at all.
    ResetRegistry();
    const struct {
        CAccountGlobals account;
        SaveResult result;
    } refused[] = {
        {Account(u"a,b", u"tavik.local", u"pw"), SaveResult::InvalidAccountKey},
        {Account(u"kim", u"x\\y", u"pw"), SaveResult::InvalidAccountKey},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(store_.Save(row.account), row.result);
        EXPECT_TRUE(Sections().empty());
    }
}

TEST_F(AccountStoreTest, APasswordLongerThanAStoredOneIsNotKeptButTheAccountIs) {
    // Each row saves over an account saved earlier with the password "old".
    const struct {
        size_t length;
        SaveResult result;
        std::u16string loadedPassword;
    } rows[] = {
        {80, SaveResult::Saved, std::u16string(80, u'x')},
        {81, SaveResult::PasswordNotKept, u""},
        {500, SaveResult::PasswordNotKept, u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        ResetRegistry();
        ASSERT_EQ(store_.Save(Account(u"kim", u"tavik.local", u"old", true, false)),
                  SaveResult::Saved);
        ASSERT_EQ(store_.Save(Account(u"lee", u"tavik.local", u"pw", false)), SaveResult::Saved);
        EXPECT_EQ(store_.Save(Account(u"kim", u"tavik.local", std::u16string(row.length, u'x'),
                                      true, true)),
                  row.result);
        // Everything else a save writes is there: the account is listed, last used, automatic
        // login and save password are set.
        EXPECT_EQ(profile_.GetString(u"user", u"ALL", u""), u"kim@tavik.local");
        EXPECT_EQ(profile_.GetString(u"user", u"id", u""), u"kim@tavik.local");
        EXPECT_EQ(profile_.GetInt(u"user", u"Auto", 9), 1u);
        EXPECT_EQ(profile_.GetInt(u"user", u"PwSave", 9), 1u);
        CAccountGlobals loaded;
        store_.Load(loaded);
        EXPECT_EQ(loaded.userName, u"kim");
        EXPECT_EQ(loaded.domainSuffix, u"@tavik.local");
        // Neither a cut password nor the older one is offered.
        EXPECT_EQ(loaded.password, row.loadedPassword);
        ASSERT_EQ(store_.List().size(), 1u);
        EXPECT_EQ(store_.List()[0].password, row.loadedPassword);
    }
}

TEST_F(AccountStoreTest, DefaultsOfAnEmptyOrOddRegistry) {
    CAccountGlobals loaded;
    loaded.userName = u"stale";
    loaded.password = u"stale";
    loaded.autoLogin = true;
    loaded.savePassword = false;
    store_.Load(loaded);
    EXPECT_EQ(loaded.userName, u"");
    EXPECT_EQ(loaded.domainSuffix, u"@tavik.local");
    EXPECT_EQ(loaded.password, u"");
    EXPECT_FALSE(loaded.autoLogin);
    EXPECT_TRUE(loaded.savePassword);
    EXPECT_EQ(store_.DownloadPath(), u"\\Program Files\\Brelo\\tavik\\Download");
    EXPECT_EQ(store_.DiskInfoServer(), (HostPort{"127.0.0.1", 22222}));
    EXPECT_TRUE(store_.List().empty());

    // id names an account whose section is gone; values of the wrong type read as absent.
    ASSERT_TRUE(profile_.WriteString(u"user", u"id", u"gone@corp.test"));
    ASSERT_TRUE(profile_.WriteString(u"user", u"Auto", u"1"));
    ASSERT_TRUE(profile_.WriteString(u"server", u"ip", u"127.0.0.9"));
    ASSERT_TRUE(store_.SetDownloadPath(u"\\My Documents\\받은 파일"));
    store_.Load(loaded);
    EXPECT_EQ(loaded.userName, u"");
    EXPECT_EQ(loaded.domainSuffix, u"@tavik.local");
    EXPECT_FALSE(loaded.autoLogin);
    EXPECT_EQ(store_.DiskInfoServer(), (HostPort{"127.0.0.9", 22222}));
    EXPECT_EQ(store_.DownloadPath(), u"\\My Documents\\받은 파일");
    ASSERT_TRUE(profile_.WriteInt(u"server", u"ip", 10222));
    EXPECT_EQ(store_.DiskInfoServer(), (HostPort{"127.0.0.1", 10222}));
}

// The security setting as the profile holds it: nothing stored and anything unknown read as
// the safe choice, never as plain; what is stored reads back.
TEST_F(AccountStoreTest, SecuritySettingReadsUnknownValuesAsRequired) {
    using Mode = CSecuritySetting::Mode;
    EXPECT_EQ(CSecuritySetting::Stored(), Mode::Required);
    const struct {
        uint32_t stored;
        Mode read;
    } rows[] = {{0, Mode::Off},
                {1, Mode::Required},
                {2, Mode::Preferred},
                {3, Mode::Required},
                {0xFFFFFFFFu, Mode::Required}};
    for (const auto& row : rows) {
        ASSERT_TRUE(CProfile().WriteInt(u"user", u"Secure", row.stored));
        EXPECT_EQ(CSecuritySetting::Stored(), row.read) << row.stored;
    }
    for (Mode mode : {Mode::Off, Mode::Preferred, Mode::Required}) {
        ASSERT_TRUE(CSecuritySetting::Store(mode));
        EXPECT_EQ(CSecuritySetting::Stored(), mode);
    }
    ASSERT_TRUE(CProfile().WriteString(u"user", u"Secure", u"0"));
    EXPECT_EQ(CSecuritySetting::Stored(), Mode::Required) << "a text is no number";
}

} // namespace
} // namespace tavik::app

// The settings store: read rules, types, where values land, and what a read-only hive does.
#include "settings/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

constexpr const char* kSectionKey = "Software\\Marrowick\\Kelvora SWF Trovex\\Trovex";
constexpr const char* kSaveKey = "Software\\Marrowick\\Kelvora SWF Trovex\\Trovex\\Save";

class Profile : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultProfileRoot(); }
  std::string UserFile() const { return home_.config() + "/kelvora-swf-trovex/user.reg"; }

  // Stores a raw value the way another program (or an older version) might have.
  static void StoreRaw(const char* key, const char* name, DWORD type, const std::string& bytes) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  static void StoreDword(const char* key, const char* name, DWORD n) {
    StoreRaw(key, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&n), 4));
  }

  test::IsolatedHome home_;
};

UINT ReserveMB() { return static_cast<UINT>(ReadUnsizedReserve() >> 20); }

TEST_F(Profile, NothingStoredGivesTheDefaults) {
  EXPECT_EQ(ReadDirChoice(), 0u);
  EXPECT_EQ(ReadConflictAction(), 3u);
  EXPECT_EQ(ReadDefaultSaveDir(), "");
  EXPECT_EQ(ReadLastSaveDir(), "");
  const UINT widths[] = {150, 60, 120, 100};
  for (int c = 0; c < kColumnCount; ++c) EXPECT_EQ(ReadColumnWidth(c), widths[c]) << c;
  EXPECT_EQ(AppProfile().GetProfileString(kSectionTrovex, "nothing", "dflt"), "dflt");
  EXPECT_EQ(ReadUnsizedReserve(), 2ull << 30);
}

TEST_F(Profile, StoredNumbersFollowTheReadRules) {
  const struct {
    const char* key;
    const char* name;
    DWORD stored;
    UINT (*read)();
    UINT expected;
  } cases[] = {
      {kSectionKey, "Default Save Directory Choice", 0, ReadDirChoice, 0},
      {kSectionKey, "Default Save Directory Choice", 1, ReadDirChoice, 1},
      {kSectionKey, "Default Save Directory Choice", 5, ReadDirChoice, 1},
      {kSectionKey, "Default Save Directory Choice", 0xFFFFFFFFu, ReadDirChoice, 1},
      {kSectionKey, "Conflict Action", 0, ReadConflictAction, 0},
      {kSectionKey, "Conflict Action", 2, ReadConflictAction, 2},
      {kSectionKey, "Conflict Action", 3, ReadConflictAction, 3},
      {kSectionKey, "Conflict Action", 4, ReadConflictAction, 3},
      {kSectionKey, "Conflict Action", 7, ReadConflictAction, 3},
      {kSectionKey, "Conflict Action", 4294967295u, ReadConflictAction, 3},
      {kSaveKey, "Column 1", 0, [] { return ReadColumnWidth(0); }, 10},
      {kSaveKey, "Column 2", 9, [] { return ReadColumnWidth(1); }, 10},
      {kSaveKey, "Column 3", 10, [] { return ReadColumnWidth(2); }, 10},
      {kSaveKey, "Column 4", 11, [] { return ReadColumnWidth(3); }, 11},
      {kSaveKey, "Column 1", 0x80000000u, [] { return ReadColumnWidth(0); }, 0x80000000u},
      {kSaveKey, "Unsized Download Reserve MB", 1, ReserveMB, 1},
      {kSaveKey, "Unsized Download Reserve MB", 500, ReserveMB, 500},
      {kSaveKey, "Unsized Download Reserve MB", 1048576, ReserveMB, 1048576},
      {kSaveKey, "Unsized Download Reserve MB", 0, ReserveMB, 2048},
      {kSaveKey, "Unsized Download Reserve MB", 1048577, ReserveMB, 2048},
      {kSaveKey, "Unsized Download Reserve MB", 0xFFFFFFFFu, ReserveMB, 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.stored));
    StoreDword(c.key, c.name, c.stored);
    EXPECT_EQ(c.read(), c.expected);
  }
}

TEST_F(Profile, AValueOfTheWrongTypeGivesTheDefault) {
  StoreRaw(kSectionKey, "Conflict Action", REG_SZ, std::string("1\0", 2));
  EXPECT_EQ(ReadConflictAction(), 3u) << "the text \"1\" is not the number 1";
  StoreRaw(kSectionKey, "Conflict Action", REG_BINARY, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(ReadConflictAction(), 3u);
  StoreRaw(kSectionKey, "Conflict Action", REG_DWORD, std::string("\x01\0", 2));
  EXPECT_EQ(ReadConflictAction(), 3u) << "a short DWORD";
  StoreRaw(kSaveKey, "Unsized Download Reserve MB", REG_SZ, std::string("1\0", 2));
  EXPECT_EQ(ReadUnsizedReserve(), 2ull << 30);
  StoreDword(kSectionKey, "Last Save Directory", 0x41);
  EXPECT_EQ(AppProfile().GetProfileString(kSectionTrovex, kValueLastSaveDir, "d"), "d");
}

TEST_F(Profile, StringsComeBackWholeUpToTheirFirstZeroByte) {
  const struct {
    const char* label;
    std::string stored;
    std::string expected;
  } cases[] = {
      {"empty", std::string("\0", 1), ""},
      {"path", std::string("/home/u/Flash\0", 14), "/home/u/Flash"},
      {"no terminator", "abc", "abc"},
      {"inner zero", std::string("ab\0cd\0", 6), "ab"},
      {"long", std::string(5000, 'x') + '\0', std::string(5000, 'x')},
      {"big5", std::string("\xB3\x5C\xA5\x5C\0", 5), "\xB3\x5C\xA5\x5C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    StoreRaw(kSectionKey, "Default Save Directory", REG_SZ, c.stored);
    EXPECT_EQ(ReadDefaultSaveDir(), c.expected);
  }
}

TEST_F(Profile, WritesLandInTheSectionKeysAsRegedit4Text) {
  CProfileStore& p = AppProfile();
  EXPECT_TRUE(p.WriteProfileInt(kSectionTrovex, kValueConflictAction, 1));
  EXPECT_TRUE(p.WriteProfileInt(kSectionTrovex, kValueDirChoice, -1));
  EXPECT_TRUE(p.WriteProfileString(kSectionTrovex, kValueLastSaveDir, "C:\\Flash \"new\""));
  WriteColumnWidth(2, 333);
  EXPECT_TRUE(p.WriteProfileString(kSectionSave, kValueWindowPlacement, "10,20,610,470,1,0"));

  EXPECT_EQ(p.GetProfileInt(kSectionTrovex, kValueDirChoice, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ReadDirChoice(), 1u);
  EXPECT_EQ(ReadLastSaveDir(), "C:\\Flash \"new\"");
  EXPECT_EQ(ReadColumnWidth(2), 333u);

  const std::string file = test::ReadFile(UserFile());
  const std::string section =
      "[HKEY_CURRENT_USER\\Software\\Marrowick\\Kelvora SWF Trovex\\Trovex]\n"
      "\"Conflict Action\"=dword:00000001\n"
      "\"Default Save Directory Choice\"=dword:ffffffff\n"
      "\"Last Save Directory\"=\"C:\\\\Flash \\\"new\\\"\"\n\n"
      "[HKEY_CURRENT_USER\\Software\\Marrowick\\Kelvora SWF Trovex\\Trovex\\Save]\n"
      "\"Column 3\"=dword:0000014d\n"
      "\"WindowPlacement\"=\"10,20,610,470,1,0\"\n\n";
  EXPECT_NE(file.find(section), std::string::npos) << file;
}

TEST_F(Profile, ReadingCreatesTheSectionKey) {
  EXPECT_EQ(ReadConflictAction(), 3u);
  HKEY h = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &h), ERROR_SUCCESS);
  RegCloseKey(h);
}

TEST_F(Profile, WithoutARootNothingIsReadOrWritten) {
  CProfileStore store;
  EXPECT_EQ(store.GetRootPath(), "");
  EXPECT_FALSE(store.WriteProfileInt("S", "v", 1));
  EXPECT_EQ(store.GetProfileInt("S", "v", 42), 42u);
  store.SetRegistryKey("Maker");
  EXPECT_FALSE(store.WriteProfileString("S", "v", "x"));
  store.SetProfileName("Prog");
  EXPECT_EQ(store.GetRootPath(), "Software\\Maker\\Prog");
  EXPECT_TRUE(store.WriteProfileInt("S", "v", 7));
  EXPECT_EQ(store.GetProfileInt("S", "v", 42), 7u);
  EXPECT_EQ(AppProfile().GetProfileInt("S", "v", 42), 42u) << "a different root";
}

TEST_F(Profile, AReadOnlyHiveStillGivesItsSettingsAndRefusesWrites) {
  AppProfile().WriteProfileInt(kSectionTrovex, kValueConflictAction, 2);
  AppProfile().WriteProfileString(kSectionTrovex, kValueDefaultDir, "/srv/flash");
  const std::string dir = home_.config() + "/kelvora-swf-trovex";
  const std::string before = test::ReadFile(UserFile());
  chmod(home_.dir().str().c_str(), 0755);
  chmod(home_.config().c_str(), 0755);
  chmod(dir.c_str(), 0555);
  chmod(UserFile().c_str(), 0444);
  auto child = test::RunInChild(
      [] {
        return std::to_string(ReadConflictAction()) + " " + ReadDefaultSaveDir() + " " +
               std::to_string(AppProfile().WriteProfileInt(kSectionTrovex, "x", 1)) + " " +
               std::to_string(ReadColumnWidth(0));
      },
      /*dropRoot=*/true);
  EXPECT_EQ(child.report, "2 /srv/flash 0 150");
  EXPECT_EQ(test::ReadFile(UserFile()), before);
  chmod(dir.c_str(), 0755);
}

}  // namespace
}  // namespace trovex

// The registry functions: results, error codes and access rights, as the system's callers
// rely on them, and the hive files they leave.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_env.h"

namespace trovex {
namespace {

class RegistryApi : public ::testing::Test {
 protected:
  test::IsolatedHome home_;
  std::string UserFile() const { return home_.config() + "/kelvora-swf-trovex/user.reg"; }
  std::string MachineFile() const { return home_.data() + "/kelvora-swf-trovex/machine.reg"; }

  HKEY Create(HKEY root, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr,
                              &h, nullptr),
              ERROR_SUCCESS);
    return h;
  }
  static LSTATUS SetSz(HKEY h, const char* name, const std::string& text) {
    return RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }
  static LSTATUS SetDword(HKEY h, const char* name, DWORD n) {
    return RegSetValueExA(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4);
  }
  static std::string GetSz(HKEY h, const char* name) {
    char buf[256] = {};
    DWORD size = sizeof buf;
    DWORD type = 0;
    if (RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) !=
        ERROR_SUCCESS)
      return "<error>";
    return std::string(buf, size ? size - 1 : 0);
  }
};

TEST_F(RegistryApi, CreateOpensExistingKeysAndCreatesMissingOnesWithTheirPath) {
  HKEY a = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Marrowick\\App", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &a, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY b = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\marrowick\\app\\", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &b, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_NE(a, b);
  // Intermediate keys exist, names keep the case they were created with.
  HKEY mid = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\MARROWICK", 0, KEY_READ, &mid),
            ERROR_SUCCESS);
  char name[64];
  DWORD cch = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(mid, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "App");
  EXPECT_EQ(cch, 3u);
  cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(mid, 1, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  // A sub-key relative to an open key.
  HKEY c = Create(a, "Sub\\Deeper");
  ASSERT_NE(c, nullptr);
  HKEY d = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Marrowick\\App\\Sub\\Deeper", 0, KEY_READ,
                          &d),
            ERROR_SUCCESS);
  for (HKEY h : {a, b, c, d, mid}) EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

TEST_F(RegistryApi, BadArgumentsAndMissingKeysGiveTheirCodes) {
  HKEY h = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Nope", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, nullptr) << "a failed open leaves no handle";
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &h),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &h, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\nB", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &h, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  HKEY bogus = reinterpret_cast<HKEY>(std::uintptr_t{0x7777});
  EXPECT_EQ(RegOpenKeyExA(bogus, "A", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(nullptr, "v", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  // An empty sub-key is the key itself, even a view's root with nothing in it yet.
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    EXPECT_EQ(RegOpenKeyExA(root, "", 0, KEY_READ, &h), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  }

  HKEY k = Create(HKEY_CURRENT_USER, "K");
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE) << "closed twice";
  EXPECT_EQ(SetSz(k, "v", "x"), ERROR_INVALID_HANDLE) << "used after closing";
  // The predefined key stays usable after being "closed".
  EXPECT_EQ(SetSz(HKEY_CURRENT_USER, "root value", "x"), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "ROOT VALUE"), "x");
}

TEST_F(RegistryApi, QueryReportsSizesAndRefusesShortBuffers) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Q");
  ASSERT_EQ(SetSz(k, "text", "hello"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(k, "n", 0xDEADBEEF), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(k, nullptr, "default"), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "TEXT", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 6u) << "terminator included";

  const struct {
    DWORD offered;
    LSTATUS result;
  } sizes[] = {{0, ERROR_MORE_DATA}, {5, ERROR_MORE_DATA}, {6, ERROR_SUCCESS}, {100, ERROR_SUCCESS}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(s.offered);
    char buf[100];
    std::memset(buf, '#', sizeof buf);
    size = s.offered;
    type = 0;
    EXPECT_EQ(RegQueryValueExA(k, "text", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size),
              s.result);
    EXPECT_EQ(size, 6u) << "the size needed, or the size copied";
    EXPECT_EQ(type, REG_SZ);
    if (s.result == ERROR_SUCCESS)
      EXPECT_STREQ(buf, "hello");
    else
      EXPECT_EQ(buf[0], '#') << "a short buffer is not written";
  }

  DWORD n = 0;
  size = 4;
  EXPECT_EQ(RegQueryValueExA(k, "n", nullptr, &type, reinterpret_cast<BYTE*>(&n), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(n, 0xDEADBEEFu);
  EXPECT_EQ(GetSz(k, ""), "default");
  EXPECT_EQ(GetSz(k, nullptr), "default");

  size = 4;
  EXPECT_EQ(RegQueryValueExA(k, "missing", nullptr, &type, reinterpret_cast<BYTE*>(&n), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(k, "n", nullptr, &type, reinterpret_cast<BYTE*>(&n), nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(k, "n", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(k, "n", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
      << "asking only whether the value exists";
  RegCloseKey(k);
}

TEST_F(RegistryApi, AccessMaskOfTheHandleIsHonoured) {
  HKEY setup = Create(HKEY_CURRENT_USER, "Software\\Acc\\Child");
  ASSERT_EQ(SetSz(setup, "v", "1"), ERROR_SUCCESS);
  RegCloseKey(setup);

  const struct {
    const char* label;
    REGSAM sam;
    LSTATUS query, set, del, createNew, enumKeys, deleteTree;
  } cases[] = {
      {"KEY_READ", KEY_READ, 0, 5, 5, 5, 0, 5},
      {"KEY_WRITE", KEY_WRITE, 5, 0, 0, 0, 5, 5},
      {"KEY_QUERY_VALUE", KEY_QUERY_VALUE, 0, 5, 5, 5, 5, 5},
      {"KEY_READ|KEY_WRITE", KEY_READ | KEY_WRITE, 0, 0, 0, 0, 0, 5},
      {"KEY_ALL_ACCESS", KEY_ALL_ACCESS, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    HKEY h = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Acc", 0, c.sam, &h), ERROR_SUCCESS);
    HKEY full = Create(HKEY_CURRENT_USER, "Software\\Acc");
    ASSERT_EQ(SetSz(full, "w", "x"), ERROR_SUCCESS);
    HKEY child = Create(full, "Child");
    ASSERT_EQ(SetSz(child, "v", "1"), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(full);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(h, "w", nullptr, nullptr, nullptr, &size), c.query);
    EXPECT_EQ(SetSz(h, "v2", "2"), c.set);
    EXPECT_EQ(RegDeleteValueA(h, "w"), c.del);
    HKEY made = nullptr;
    EXPECT_EQ(RegCreateKeyExA(h, "New", 0, nullptr, 0, KEY_READ, nullptr, &made, nullptr),
              c.createNew);
    // Opening an existing sub-key needs no right on the parent handle.
    HKEY existing = nullptr;
    EXPECT_EQ(RegCreateKeyExA(h, "Child", 0, nullptr, 0, KEY_READ, nullptr, &existing, nullptr),
              ERROR_SUCCESS);
    char name[32];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(h, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), c.enumKeys);
    EXPECT_EQ(RegDeleteTreeA(h, "Child"), c.deleteTree);
    RegCloseKey(made);
    RegCloseKey(existing);
    RegCloseKey(h);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Acc\\New");
  }
}

TEST_F(RegistryApi, DeletingValuesAndTrees) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Del\\A\\B");
  ASSERT_EQ(SetSz(k, "v", "1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(k, "V"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(k, "v"), ERROR_FILE_NOT_FOUND);

  HKEY del = Create(HKEY_CURRENT_USER, "Software\\Del");
  EXPECT_EQ(RegDeleteKeyA(del, "A"), ERROR_ACCESS_DENIED) << "it still has a sub-key";
  EXPECT_EQ(RegDeleteTreeA(del, "a"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(del, "A"), ERROR_FILE_NOT_FOUND);
  // The handle on the deleted key now answers ERROR_KEY_DELETED.
  EXPECT_EQ(SetSz(k, "v", "1"), ERROR_KEY_DELETED);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(k, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);

  // A null sub-key empties the key but keeps it.
  HKEY c = Create(del, "C\\D");
  ASSERT_EQ(SetSz(del, "top", "t"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeA(del, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(del, "top"), "<error>");
  char name[32];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(del, 0, name, &cch, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(SetSz(del, "still", "there"), ERROR_SUCCESS);
  HKEY leaf = Create(del, "Leaf");
  EXPECT_EQ(RegDeleteKeyA(del, "leaf"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(del, "leaf"), ERROR_FILE_NOT_FOUND);
  for (HKEY h : {c, del, leaf}) RegCloseKey(h);
}

TEST_F(RegistryApi, EnumeratesValuesInOrderWithTheirData) {
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Enum");
  ASSERT_EQ(SetSz(k, "b", "two"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(k, "a", 7), ERROR_SUCCESS);
  char name[8];
  DWORD cch = sizeof name, type = 0, size = 0;
  ASSERT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "b");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  cch = 1;  // no room for "a" plus its terminator
  EXPECT_EQ(RegEnumValueA(k, 1, name, &cch, nullptr, &type, nullptr, &size), ERROR_MORE_DATA);
  cch = sizeof name;
  EXPECT_EQ(RegEnumValueA(k, 2, name, &cch, nullptr, &type, nullptr, &size), ERROR_NO_MORE_ITEMS);
  RegCloseKey(k);
}

TEST_F(RegistryApi, HivesAreReadableRegedit4FilesInTheirPlaces) {
  HKEY u = Create(HKEY_CURRENT_USER, "Software\\Marrowick\\Kelvora SWF Trovex\\Trovex");
  ASSERT_EQ(SetSz(u, "Last Save Directory", "/home/u/Flash \"x\"\\"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(u, "Conflict Action", 2), ERROR_SUCCESS);
  HKEY m = Create(HKEY_LOCAL_MACHINE, "Software\\Marrowick\\Kelvora SWF Zalmic");
  ASSERT_EQ(SetSz(m, "Install Path", "/opt/zalmic"), ERROR_SUCCESS);
  RegCloseKey(u);
  RegCloseKey(m);

  EXPECT_EQ(test::ReadFile(UserFile()),
            "REGEDIT4\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Marrowick]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Marrowick\\Kelvora SWF Trovex]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Marrowick\\Kelvora SWF Trovex\\Trovex]\n"
            "\"Last Save Directory\"=\"/home/u/Flash \\\"x\\\"\\\\\"\n"
            "\"Conflict Action\"=dword:00000002\n\n");
  const std::string machine = test::ReadFile(MachineFile());
  EXPECT_NE(machine.find("[HKEY_LOCAL_MACHINE\\Software\\Marrowick\\Kelvora SWF Zalmic]\n"
                         "\"Install Path\"=\"/opt/zalmic\"\n"),
            std::string::npos)
      << machine;
  EXPECT_EQ(machine.find("Trovex]"), std::string::npos) << "each hive in its own file";
}

TEST_F(RegistryApi, HivesFollowTheEnvironmentAndItsFallbacks) {
  test::ScopedEnv env;
  env.Unset("XDG_CONFIG_HOME");
  env.Set("XDG_DATA_HOME", "relative/ignored");
  ASSERT_EQ(SetSz(HKEY_CURRENT_USER, "where", "home"), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(HKEY_LOCAL_MACHINE, "where", "home"), ERROR_SUCCESS);
  EXPECT_NE(test::ReadFile(home_.dir().str() + "/.config/kelvora-swf-trovex/user.reg")
                .find("\"where\"=\"home\""),
            std::string::npos);
  EXPECT_NE(test::ReadFile(home_.dir().str() + "/.local/share/kelvora-swf-trovex/machine.reg")
                .find("\"where\"=\"home\""),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(UserFile()), "");
}

TEST_F(RegistryApi, ClassesViewMergesUserOverMachine) {
  HKEY m = Create(HKEY_LOCAL_MACHINE, "Software\\Classes\\Prog.Id\\CLSID");
  ASSERT_EQ(SetSz(m, nullptr, "{machine}"), ERROR_SUCCESS);
  HKEY onlyM = Create(HKEY_LOCAL_MACHINE, "Software\\Classes\\Only.Machine");
  ASSERT_EQ(SetSz(onlyM, nullptr, "m"), ERROR_SUCCESS);

  HKEY cr = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Prog.Id\\CLSID", 0, KEY_READ, &cr), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(cr, nullptr), "{machine}");
  // A user key of the same name wins.
  HKEY u = Create(HKEY_CURRENT_USER, "Software\\Classes\\Prog.Id\\CLSID");
  ASSERT_EQ(SetSz(u, nullptr, "{user}"), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(cr, nullptr), "{user}");
  // Values written through the view go to the user's key when it exists there ...
  HKEY crw = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Prog.Id\\CLSID", 0, KEY_ALL_ACCESS, &crw),
            ERROR_SUCCESS);
  ASSERT_EQ(SetSz(crw, "x", "1"), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(u, "x"), "1");
  EXPECT_EQ(GetSz(m, "x"), "<error>");
  // ... and new keys to the machine's.
  HKEY fresh = Create(HKEY_CLASSES_ROOT, "New.Prog\\CLSID");
  ASSERT_EQ(SetSz(fresh, nullptr, "{new}"), ERROR_SUCCESS);
  HKEY check = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\New.Prog\\CLSID", 0, KEY_READ,
                          &check),
            ERROR_SUCCESS);
  EXPECT_EQ(GetSz(check, nullptr), "{new}");
  // Enumeration lists each name once.
  std::vector<std::string> names;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD cch = sizeof name;
    if (RegEnumKeyExA(HKEY_CLASSES_ROOT, i, name, &cch, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Prog.Id", "Only.Machine", "New.Prog"}));
  // Deleting through the view removes the key from both.
  EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "Prog.Id"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Prog.Id", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Prog.Id", 0, KEY_READ, &gone),
            ERROR_FILE_NOT_FOUND);
  for (HKEY h : {m, onlyM, cr, u, crw, fresh, check}) RegCloseKey(h);
}

}  // namespace
}  // namespace trovex

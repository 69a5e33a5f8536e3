// CRegistry as its callers use it: registration keys, the companions' install paths.
#include "settings/registry_key.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_env.h"

namespace trovex {
namespace {

constexpr const char* kZalmicKey = "Software\\Marrowick\\Kelvora SWF Zalmic\\";

class RegistryKey : public ::testing::Test {
 protected:
  test::IsolatedHome home_;
};

TEST_F(RegistryKey, CreateOpenWriteReadRecordTheirResults) {
  CRegistry reg(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.GetKey(), HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, kZalmicKey));
  EXPECT_EQ(reg.GetLastResult(), ERROR_SUCCESS);
  ASSERT_TRUE(reg.Open(HKEY_LOCAL_MACHINE, kZalmicKey, KEY_READ | KEY_WRITE));
  EXPECT_EQ(reg.GetSubKey(), kZalmicKey);

  ASSERT_TRUE(reg.WriteString("Install Path", "/opt/zalmic"));
  EXPECT_EQ(reg.GetLastType(), REG_SZ);
  EXPECT_EQ(reg.GetLastSize(), 12u) << "text plus terminator";

  std::string text = "unchanged";
  ASSERT_TRUE(reg.ReadString("install path", text));
  EXPECT_EQ(text, "/opt/zalmic");
  EXPECT_EQ(reg.GetLastType(), REG_SZ);
  EXPECT_EQ(reg.GetLastSize(), 12u);

  // Open resets the recorded type and size.
  ASSERT_TRUE(reg.Open(HKEY_LOCAL_MACHINE, kZalmicKey, KEY_READ));
  EXPECT_EQ(reg.GetLastType(), 0u);
  EXPECT_EQ(reg.GetLastSize(), 0u);
}

TEST_F(RegistryKey, FailuresLeaveTheTextAloneAndRecordTheCode) {
  CRegistry reg(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.Open(HKEY_LOCAL_MACHINE, kZalmicKey, KEY_READ));
  EXPECT_EQ(reg.GetLastResult(), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(reg.GetKey(), nullptr) << "a failed open holds no key";
  std::string text = "unchanged";
  EXPECT_FALSE(reg.ReadString("Install Path", text));
  EXPECT_EQ(reg.GetLastResult(), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(reg.WriteString("Install Path", "x")) << "never into the root by mistake";

  ASSERT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, kZalmicKey));
  EXPECT_FALSE(reg.ReadString("Install Path", text));
  EXPECT_EQ(reg.GetLastResult(), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(text, "unchanged");

  // A key opened for reading refuses the write.
  ASSERT_TRUE(reg.Open(HKEY_LOCAL_MACHINE, kZalmicKey, KEY_READ));
  EXPECT_FALSE(reg.WriteString("Install Path", "x"));
  EXPECT_EQ(reg.GetLastResult(), static_cast<LONG>(ERROR_ACCESS_DENIED));
}

TEST_F(RegistryKey, ReadStringTakesAtMost1023BytesAndIgnoresTheType) {
  CRegistry reg(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Software\\R"));
  const struct {
    const char* label;
    DWORD type;
    std::string bytes;
    bool ok;
    std::string text;
  } cases[] = {
      {"1022 characters fit", REG_SZ, std::string(1022, 'a') + '\0', true, std::string(1022, 'a')},
      {"1023 characters do not", REG_SZ, std::string(1023, 'b') + '\0', false, ""},
      {"1023 bytes without terminator", REG_SZ, std::string(1023, 'c'), true,
       std::string(1023, 'c')},
      {"a DWORD is read as its bytes", REG_DWORD, std::string("A\0\0\0", 4), true, "A"},
      {"empty", REG_SZ, std::string("\0", 1), true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(RegSetValueExA(reg.GetKey(), "v", 0, c.type,
                             reinterpret_cast<const BYTE*>(c.bytes.data()),
                             static_cast<DWORD>(c.bytes.size())),
              ERROR_SUCCESS);
    std::string text = "unchanged";
    EXPECT_EQ(reg.ReadString("v", text), c.ok ? TRUE : FALSE);
    EXPECT_EQ(text, c.ok ? c.text : "unchanged");
    EXPECT_EQ(reg.GetLastType(), c.type);
    EXPECT_EQ(reg.GetLastSize(), c.bytes.size());
    if (!c.ok) {
      EXPECT_EQ(reg.GetLastResult(), static_cast<LONG>(ERROR_MORE_DATA));
    }
  }
}

TEST_F(RegistryKey, AKeyThatIsReplacedOrDestroyedIsClosed) {
  HKEY first = nullptr;
  {
    CRegistry reg;
    ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Software\\A"));
    first = reg.GetKey();
    ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, "Software\\A", KEY_READ));
    EXPECT_NE(reg.GetKey(), first);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE) << "closed when replaced";
    first = reg.GetKey();
    reg.Close();
    EXPECT_EQ(reg.GetKey(), nullptr);
    reg.Close();  // twice is harmless
    ASSERT_TRUE(reg.Open(HKEY_CURRENT_USER, "Software\\A", KEY_READ));
    first = reg.GetKey();
  }
  EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE) << "closed by the destructor";
  // Opening relative to the key the object holds keeps working.
  CRegistry reg;
  ASSERT_TRUE(reg.Create(HKEY_CURRENT_USER, "Software"));
  ASSERT_TRUE(reg.Create(reg.GetKey(), "A\\B"));
  ASSERT_TRUE(reg.WriteString("", "x"));
  CRegistry check(HKEY_CURRENT_USER);
  ASSERT_TRUE(check.Open(HKEY_CURRENT_USER, "Software\\A\\B", KEY_READ));
  std::string text;
  EXPECT_TRUE(check.ReadString("", text));
  EXPECT_EQ(text, "x");
}

}  // namespace
}  // namespace trovex

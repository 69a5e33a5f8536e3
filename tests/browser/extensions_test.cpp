// Reading the registered extensions and the button icons inside a module file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/extensions.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_env.h"

namespace trovex::browser {
namespace {

void SetValue(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(h);
}

TEST(ExtensionsTest, OnlyScriptExtensionsWithAScriptAreOffered) {
  test::IsolatedHome home;
  const std::string base = "Software\\Microsoft\\Internet Explorer\\Extensions\\";
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "CLSID", kRunScriptHandler);
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "Script", "/x/a.htm");
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "ButtonText", "按鈕");
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "Icon", "/x/lib.so,128");
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "MenuText", "選單");
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "MenuStatusBar", "說明");
  SetValue(HKEY_LOCAL_MACHINE, base + "{A}", "Default Visible", "Yes");
  SetValue(HKEY_LOCAL_MACHINE, base + "{B}", "CLSID", "{00000000-0000-0000-0000-000000000000}");
  SetValue(HKEY_LOCAL_MACHINE, base + "{B}", "Script", "/x/b.htm");
  SetValue(HKEY_LOCAL_MACHINE, base + "{C}", "CLSID", kRunScriptHandler);  // no script
  SetValue(HKEY_LOCAL_MACHINE, base + "{D}", "CLSID", kRunScriptHandler);
  SetValue(HKEY_LOCAL_MACHINE, base + "{D}", "Script", "/x/d.htm");
  SetValue(HKEY_LOCAL_MACHINE, base + "{D}", "Default Visible", "No");

  std::vector<ScriptExtension> found = ReadScriptExtensions();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].strKey, "{A}");
  EXPECT_EQ(found[0].strButtonText, "按鈕");
  EXPECT_EQ(found[0].strIcon, "/x/lib.so,128");
  EXPECT_EQ(found[0].strMenuText, "選單");
  EXPECT_EQ(found[0].strMenuStatusBar, "說明");
  EXPECT_EQ(found[0].strScript, "/x/a.htm");
  EXPECT_TRUE(found[0].bDefaultVisible);
  EXPECT_EQ(found[1].strKey, "{D}");
  EXPECT_FALSE(found[1].bDefaultVisible);

  const std::string menu = "Software\\Microsoft\\Internet Explorer\\MenuExt\\";
  SetValue(HKEY_CURRENT_USER, menu + "儲存影片", nullptr, "/x/a.htm");
  SetValue(HKEY_CURRENT_USER, menu + "Empty", "Other", "value");
  std::vector<ContextMenuItem> items = ReadContextMenuItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].strText, "儲存影片");
  EXPECT_EQ(items[0].strScript, "/x/a.htm");
}

TEST(ExtensionsTest, IconLocations) {
  struct Case {
    const char* text;
    bool ok;
    const char* path;
    int id;
  } cases[] = {
      {"/a/lib.so,128", true, "/a/lib.so", 128},
      {"/a,b/lib.so,129", true, "/a,b/lib.so", 129},
      {"/a/lib.so", false, "", 0},
      {"/a/lib.so,", false, "", 0},
      {",128", false, "", 0},
      {"/a/lib.so,-1", false, "", 0},
      {"/a/lib.so,99999999999", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string path;
    int id = 0;
    EXPECT_EQ(ParseIconLocation(c.text, &path, &id), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(path, c.path);
      EXPECT_EQ(id, c.id);
    }
  }
}

TEST(ExtensionsTest, ButtonIconsComeFromTheModuleFile) {
  for (int id : {128, 129}) {
    std::string error;
    std::vector<ResourceImage> images = ReadModuleImages(TROVEX_MODULE_PATH, id, &error);
    ASSERT_EQ(images.size(), 2u) << error;
    EXPECT_EQ(images[0].nWidth, 16);
    EXPECT_EQ(images[1].nWidth, 20);
    for (const ResourceImage& image : images) EXPECT_EQ(image.strPng.substr(1, 3), "PNG");
  }
  test::TempDir dir;
  std::string module = test::ReadFile(TROVEX_MODULE_PATH);
  struct Case {
    std::string path;
    int id;
  } bad[] = {
      {TROVEX_MODULE_PATH, 1004},                                  // not among the table's images
      {dir.str() + "/missing.so", 128},
      {dir.WriteFile("text.so", "plain text, not a module"), 128},
      {dir.WriteFile("cut.so", module.substr(0, 4096)), 128},       // section headers cut away
      {TROVEX_FAKE_SERVER, 128},                                    // a module without images
      {dir.str(), 128},                                             // a folder
  };
  for (const Case& c : bad) {
    std::string error;
    EXPECT_TRUE(ReadModuleImages(c.path, c.id, &error).empty()) << c.path;
    EXPECT_FALSE(error.empty()) << c.path;
  }
}

}  // namespace
}  // namespace trovex::browser

// The module as COM and the registration tool see it: loaded from its file, reached only
// through its four entry points and the keys it writes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "platform/text/unicode.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

const CLSID kClass{0xE19ADC6E, 0x3909, 0x43E4, {0x9A, 0x89, 0xB7, 0xB6, 0x76, 0x37, 0x7E, 0xE3}};
const CLSID kOtherClass{0xE19ADC6E, 0x3909, 0x43E4, {0x9A, 0x89, 0xB7, 0xB6, 0x76, 0x37, 0x7E, 0xE4}};
constexpr const char* kExtensionKey =
    "Software\\Microsoft\\Internet Explorer\\Extensions\\{E19ADC6E-3909-43E4-9A89-B7B676377EE3}";
constexpr const char* kMenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt\\SWF Zalmic Trovex";

struct Module {
  Module() {
    handle = ::dlopen(TROVEX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << ::dlerror();
    if (!handle) return;
    getClassObject = reinterpret_cast<PFN_DllGetClassObject>(::dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(::dlsym(handle, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<PFN_DllRegisterServer>(::dlsym(handle, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<PFN_DllUnregisterServer>(::dlsym(handle, "DllUnregisterServer"));
  }
  ~Module() {
    if (handle) ::dlclose(handle);
  }
  void* handle = nullptr;
  PFN_DllGetClassObject getClassObject = nullptr;
  PFN_DllCanUnloadNow canUnloadNow = nullptr;
  PFN_DllRegisterServer registerServer = nullptr;
  PFN_DllUnregisterServer unregisterServer = nullptr;
};

std::string ModulePath() { return std::filesystem::canonical(TROVEX_MODULE_PATH).string(); }

// Every value of a key, by name ("" for the default); nullopt when the key is missing.
std::optional<std::map<std::string, std::string>> Values(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  std::map<std::string, std::string> values;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name, type = 0;
    BYTE data[2048];
    DWORD size = sizeof data;
    if (RegEnumValueA(h, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    EXPECT_EQ(type, REG_SZ) << name;
    values[std::string(name, nameLength)] = std::string(reinterpret_cast<char*>(data));
  }
  RegCloseKey(h);
  return values;
}

std::string Default(HKEY root, const std::string& key) {
  auto values = Values(root, key);
  return values && values->count("") ? values->at("") : std::string("<missing>");
}

int CountOccurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ModuleTest, ExportsOnlyTheFourEntryPoints) {
  Module m;
  ASSERT_TRUE(m.getClassObject && m.canUnloadNow && m.registerServer && m.unregisterServer);
  // The module's own code (registry, scanner...) must not be reachable, or it would clash with
  // the host program's copies.
  for (const char* hidden : {"_ZN6trovex14RegOpenKeyExA", "AfxOleLockApp", "_ZN6trovex12ScanDocument"})
    EXPECT_EQ(::dlsym(m.handle, hidden), nullptr) << hidden;
}

TEST(ModuleTest, RegisteringTwiceLeavesOneSetOfKeysWithTheModulesPaths) {
  test::IsolatedHome home;
  Module m;
  ASSERT_EQ(m.registerServer(), S_OK);
  ASSERT_EQ(m.registerServer(), S_OK);
  const std::string path = ModulePath();
  const std::string dir = path.substr(0, path.rfind('/'));
  std::map<std::string, std::string> expected = {
      {"ButtonText", "SWF Zalmic Trovex"},
      {"CLSID", "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}"},
      {"Default Visible", "Yes"},
      {"Icon", path + ",128"},
      {"HotIcon", path + ",129"},
      {"MenuStatusBar", "SWF Zalmic Trovex"},
      {"MenuText", "SWF Zalmic Trovex"},
      {"Script", dir + "/InternetExplorer.htm"},
  };
  EXPECT_EQ(Values(HKEY_LOCAL_MACHINE, kExtensionKey), expected);
  std::map<std::string, std::string> menu = {{"", dir + "/InternetExplorer.htm"}};
  EXPECT_EQ(Values(HKEY_CURRENT_USER, kMenuExtKey), menu);
  // The standard keys of the in-process class.
  EXPECT_EQ(Default(HKEY_CLASSES_ROOT, "SWFOrdavin.InternetExplorer\\CLSID"), "{E19ADC6E-3909-43E4-9A89-B7B676377EE3}");
  EXPECT_EQ(Default(HKEY_CLASSES_ROOT, "CLSID\\{E19ADC6E-3909-43E4-9A89-B7B676377EE3}\\ProgID"),
            "SWFOrdavin.InternetExplorer");
  EXPECT_EQ(Default(HKEY_CLASSES_ROOT, "CLSID\\{E19ADC6E-3909-43E4-9A89-B7B676377EE3}\\InprocServer32"), path);
  std::string machine = test::ReadFile(home.data() + "/kelvora-swf-trovex/machine.reg");
  EXPECT_EQ(CountOccurrences(machine, "\"ButtonText\""), 1);
  EXPECT_EQ(CountOccurrences(machine, "[HKEY_LOCAL_MACHINE\\Software\\Classes\\SWFOrdavin.InternetExplorer]"), 1);
}

TEST(ModuleTest, UnregisteringRemovesTheKeysButOnlyThisUsersMenuItem) {
  test::IsolatedHome home;
  Module m;
  ASSERT_EQ(m.registerServer(), S_OK);
  // Another user's hive with the same context-menu key.
  test::TempDir other;
  {
    test::ScopedEnv env;
    env.Set("XDG_CONFIG_HOME", other.str());
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kMenuExtKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  ASSERT_EQ(m.unregisterServer(), S_OK);
  EXPECT_FALSE(Values(HKEY_LOCAL_MACHINE, kExtensionKey));
  EXPECT_FALSE(Values(HKEY_CURRENT_USER, kMenuExtKey));
  EXPECT_FALSE(Values(HKEY_CLASSES_ROOT, "SWFOrdavin.InternetExplorer"));
  EXPECT_FALSE(Values(HKEY_CLASSES_ROOT, "CLSID\\{E19ADC6E-3909-43E4-9A89-B7B676377EE3}"));
  test::ScopedEnv env;
  env.Set("XDG_CONFIG_HOME", other.str());
  EXPECT_TRUE(Values(HKEY_CURRENT_USER, kMenuExtKey));
}

TEST(ModuleTest, UnregisteringAnUnregisteredClassFailsAndKeepsTheBrowserKeys) {
  test::IsolatedHome home;
  Module m;
  ASSERT_EQ(m.registerServer(), S_OK);
  ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{E19ADC6E-3909-43E4-9A89-B7B676377EE3}"), ERROR_SUCCESS);
  EXPECT_EQ(m.unregisterServer(), REGDB_E_CLASSNOTREG);
  EXPECT_TRUE(Values(HKEY_LOCAL_MACHINE, kExtensionKey));
  EXPECT_TRUE(Values(HKEY_CURRENT_USER, kMenuExtKey));
}

TEST(ModuleTest, RegistrationThatCannotBeWrittenIsReportedAndLeavesNothingBehind) {
  test::IsolatedHome home;
  // The machine hive's folder is a file: nothing can be stored there, while the current
  // user's hive (the context-menu item) could be written.
  home.dir().WriteFile("data/kelvora-swf-trovex", "not a folder");
  Module m;
  EXPECT_EQ(m.registerServer(), SELFREG_E_CLASS);
  // No context-menu item that would run a script whose class was never registered.
  EXPECT_FALSE(Values(HKEY_CURRENT_USER, kMenuExtKey));
  const std::string user = test::ReadFile(home.config() + "/kelvora-swf-trovex/user.reg");
  EXPECT_EQ(user.find("SWF Zalmic Trovex"), std::string::npos) << user;
  EXPECT_EQ(user.find("InternetExplorer.htm"), std::string::npos) << user;
  EXPECT_FALSE(Values(HKEY_LOCAL_MACHINE, kExtensionKey));
  EXPECT_FALSE(Values(HKEY_CLASSES_ROOT, "SWFOrdavin.InternetExplorer"));
}

TEST(ModuleTest, ServesOnlyItsOwnClass) {
  Module m;
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {&kClass, &IID_IClassFactory, S_OK},
      {&kClass, &IID_IUnknown, S_OK},
      {&kClass, &IID_IDispatch, E_NOINTERFACE},
      {&kOtherClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&GUID_NULL, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Case& c : cases) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(m.getClassObject(*c.clsid, *c.iid, &p), c.expected) << GuidToString(*c.clsid);
    if (SUCCEEDED(c.expected)) {
      ASSERT_NE(p, nullptr);
      static_cast<IUnknown*>(p)->Release();
    } else {
      EXPECT_EQ(p, nullptr);
    }
  }
  EXPECT_EQ(m.canUnloadNow(), S_OK);
}

TEST(ModuleTest, CanUnloadOnlyWhenNoObjectFactoryReferenceOrLockIsLeft) {
  Module m;
  ASSERT_EQ(m.canUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(m.getClassObject(kClass, IID_IClassFactory, factory.AsVoidOut()), S_OK);
  EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "a factory reference is held";

  ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.AsVoidOut()), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "an object and a lock are held";
  ComPtr<IDispatch> second = object;
  object.Reset();
  EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "the object still has a reference";
  second.Reset();
  EXPECT_EQ(m.canUnloadNow(), S_FALSE) << "the lock is held";

  ASSERT_EQ(m.getClassObject(kClass, IID_IClassFactory, factory.AsVoidOut()), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED) << "more unlocks than locks";
  void* none = nullptr;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory.Get()), IID_IDispatch, &none),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(none, nullptr);
  factory.Reset();
  EXPECT_EQ(m.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace trovex

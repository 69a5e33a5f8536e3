// In-process activation through the classes view: lookups, loading, failures, unloading.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/trovex_object.h"
#include "platform/registry/registry.h"
#include "platform/text/unicode.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

constexpr const char* kFakeClass = "{7E57C1A5-0000-4000-8000-000000000001}";

void SetDefault(const std::string& key, const std::string& value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(h);
}

void RegisterClass(const std::string& progId, const std::string& clsid, const std::string& server) {
  SetDefault(progId + "\\CLSID", clsid);
  SetDefault("CLSID\\" + clsid + "\\ProgID", progId);
  if (!server.empty()) SetDefault("CLSID\\" + clsid + "\\InprocServer32", server);
}

CLSID Clsid(const std::string& text) {
  CLSID clsid{};
  EXPECT_TRUE(GuidFromString(text, &clsid)) << text;
  return clsid;
}

bool Loaded(const std::string& path) {
  auto all = CoLoadedLibraries();
  return std::find(all.begin(), all.end(), path) != all.end();
}

TEST(ActivationTest, ProgIdAndClsidLookups) {
  test::IsolatedHome home;
  RegisterClass("Trovex.Fake", kFakeClass, TROVEX_FAKE_SERVER);
  SetDefault("Trovex.Broken\\CLSID", "{not a guid}");
  SetDefault("CLSID\\{7E57C1A5-0000-4000-8000-000000000002}", "no ProgID below");
  struct Case {
    const char16_t* progId;
    HRESULT expected;
  } cases[] = {
      {u"Trovex.Fake", S_OK},
      {u"trovex.fake", S_OK},  // names compare ignoring case
      {u"Trovex.Missing", CO_E_CLASSSTRING},
      {u"Trovex.Broken", CO_E_CLASSSTRING},
      {u"Trovex.Fake\\CLSID\\..", CO_E_CLASSSTRING},
      {u"", E_INVALIDARG},
  };
  for (const Case& c : cases) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(c.progId, &clsid), c.expected) << Utf16ToUtf8(c.progId);
    EXPECT_EQ(clsid, SUCCEEDED(c.expected) ? Clsid(kFakeClass) : GUID_NULL);
  }

  OLECHAR* progId = nullptr;
  ASSERT_EQ(ProgIDFromCLSID(Clsid(kFakeClass), &progId), S_OK);
  EXPECT_EQ(Utf16ToUtf8(progId), "Trovex.Fake");
  CoTaskMemFree(progId);
  EXPECT_EQ(ProgIDFromCLSID(Clsid("{7E57C1A5-0000-4000-8000-000000000009}"), &progId), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(ProgIDFromCLSID(Clsid("{7E57C1A5-0000-4000-8000-000000000002}"), &progId), REGDB_E_IIDNOTREG);
  EXPECT_EQ(progId, nullptr);
}

TEST(ActivationTest, FailuresSayWhatWasMissing) {
  test::IsolatedHome home;
  std::string text = home.dir().WriteFile("not-a-library.so", "plain text");
  struct Case {
    const char* clsid;
    std::string server;  // "" leaves InprocServer32 out
    HRESULT expected;
    std::string mention;
  } cases[] = {
      {"{7E57C1A5-0000-4000-8000-000000000010}", "", REGDB_E_CLASSNOTREG, "7E57C1A5"},
      {"{7E57C1A5-0000-4000-8000-000000000011}", home.dir().str() + "/gone.so", CO_E_DLLNOTFOUND, "gone.so"},
      {"{7E57C1A5-0000-4000-8000-000000000012}", "relative.so", CO_E_DLLNOTFOUND, "relative.so"},
      {"{7E57C1A5-0000-4000-8000-000000000013}", text, CO_E_DLLNOTFOUND, "not-a-library.so"},
      {"{7E57C1A5-0000-4000-8000-000000000014}", TROVEX_NO_ENTRY_MODULE, CO_E_ERRORINDLL, "DllGetClassObject"},
      // The library serves other classes only.
      {"{7E57C1A5-0000-4000-8000-000000000015}", TROVEX_FAKE_SERVER, CLASS_E_CLASSNOTAVAILABLE, "7E57C1A5"},
  };
  for (const Case& c : cases) {
    RegisterClass(std::string("Trovex.Case") + c.clsid[36], c.clsid, c.server);
    IDispatch* object = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(CoCreateInstance(Clsid(c.clsid), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              c.expected)
        << c.clsid;
    EXPECT_EQ(object, nullptr);
    EXPECT_NE(CoLastActivationError().find(c.mention), std::string::npos) << CoLastActivationError();
  }
  EXPECT_FALSE(Loaded(TROVEX_NO_ENTRY_MODULE)) << "a library without the entry points is not kept";
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(Clsid(kFakeClass), nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, &p),
            REGDB_E_CLASSNOTREG);
}

// The programs that stand in for the script page reach the system's object by its ProgID alone.
TEST(ActivationTest, GetSWFFileByProgIdSaysWhichStepFailed) {
  test::IsolatedHome home;
  struct Case {
    const char* clsid;  // null: the ProgID is not registered
    std::string server;
    HRESULT expected;
    GetSWFFileStep step;
    std::string mention;
    long result;
  } cases[] = {
      {nullptr, "", CO_E_CLASSSTRING, GetSWFFileStep::kCreate, "", 1},
      {"{7E57C1A5-0000-4000-8000-000000000020}", TROVEX_NO_ENTRY_MODULE, CO_E_ERRORINDLL, GetSWFFileStep::kCreate,
       "DllGetClassObject", 1},
      {kFakeClass, TROVEX_FAKE_SERVER, S_OK, GetSWFFileStep::kDone, "", 7},
  };
  for (const Case& c : cases) {
    if (c.clsid) RegisterClass(kTrovexProgID, c.clsid, c.server);
    long result = 1;
    GetSWFFileStep step = GetSWFFileStep::kDone;
    std::string failure = "stale";
    EXPECT_EQ(GetSWFFileByProgId(nullptr, &result, &step, &failure), c.expected) << c.server;
    EXPECT_EQ(step, c.step) << c.server;
    EXPECT_EQ(result, c.result) << c.server;
    EXPECT_NE(failure.find(c.mention), std::string::npos) << failure;
    if (c.step == GetSWFFileStep::kDone) EXPECT_EQ(failure, "");
  }
  CoFreeUnusedLibraries();
}

TEST(ActivationTest, ModuleStaysLoadedWhileItsObjectsLive) {
  test::IsolatedHome home;
  RegisterClass("Trovex.Fake", kFakeClass, TROVEX_FAKE_SERVER);
  ComPtr<IDispatch> first, second;
  ASSERT_EQ(CoCreateInstance(Clsid(kFakeClass), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, first.AsVoidOut()), S_OK);
  ASSERT_EQ(CoCreateInstance(Clsid(kFakeClass), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, second.AsVoidOut()), S_OK);
  EXPECT_EQ(CoLoadedLibraries().size(), 1u) << "one library for both objects";
  first.Reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(Loaded(TROVEX_FAKE_SERVER));
  second.Reset();
  CoFreeUnusedLibraries();
  EXPECT_FALSE(Loaded(TROVEX_FAKE_SERVER));
  // And it comes back when asked for again.
  ASSERT_EQ(CoCreateInstance(Clsid(kFakeClass), nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, first.AsVoidOut()), S_OK);
  first.Reset();
  CoFreeUnusedLibraries();
  EXPECT_TRUE(CoLoadedLibraries().empty());
}

}  // namespace
}  // namespace trovex

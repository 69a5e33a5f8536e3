// The script page and the engine that runs it: which document reaches GetSWFFile, and how a
// script failure is reported.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pageloader/loader.h"
#include "browser/extension_run.h"
#include "browser/script_engine.h"
#include "platform/com/activation.h"
#include "platform/com/automation_call.h"
#include "platform/registry/registry.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_env.h"

namespace trovex::browser {
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

// The automation ProgID served by the recording test server.
class ScriptPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = home_.dir().str() + "/calls.log";
    env_.Set("TROVEX_FAKE_SERVER_LOG", log_);
    for (const char* progId : {"SWFOrdavin.InternetExplorer", "Trovex.Fake"}) SetDefault(std::string(progId) + "\\CLSID", kFakeClass);
    SetDefault(std::string("CLSID\\") + kFakeClass + "\\InprocServer32", TROVEX_FAKE_SERVER);
    server_.Page("/", "<frameset><frame src='/left.html'><frame src='/right.html'></frameset>");
    server_.Page("/left.html", "<iframe src='/inner.html'></iframe>");
    server_.Page("/right.html", "<embed src='movie.swf'>");
    server_.Page("/inner.html", "<p>inner</p>");
    std::string error;
    page_ = LoadPage(server_.Url("/"), LoadOptions{}, &error);
    ASSERT_TRUE(page_) << error;
  }
  void TearDown() override {
    page_.Reset();
    EXPECT_EQ(LiveDomObjectCount(), 0u) << "the engine gave back every document-model object";
    CoFreeUnusedLibraries();
    EXPECT_TRUE(CoLoadedLibraries().empty()) << "the server was released";
  }
  std::string Calls() { return test::ReadFile(log_); }

  test::IsolatedHome home_;
  test::ScopedEnv env_;
  std::string log_;
  test::LoopbackServer server_;
  ComPtr<IWebBrowser2> page_;
};

TEST_F(ScriptPageTest, PassesThePageOrTheFrameItWasStartedFor) {
  struct Case {
    std::string context;  // "-" for the toolbar button
    std::string expected;
  } cases[] = {
      {"-", server_.Url("/")},
      {server_.Url("/"), server_.Url("/")},
      {server_.Url("/right.html"), server_.Url("/right.html")},
      {server_.Url("/inner.html#top"), server_.Url("/inner.html")},
      {"http://127.0.0.1:1/elsewhere.html", server_.Url("/")},  // no such frame: the page
  };
  for (const Case& c : cases) {
    std::remove(log_.c_str());
    std::string error;
    EXPECT_TRUE(RunExtension(page_.Get(), TROVEX_SCRIPT_PAGE, c.context == "-" ? nullptr : &c.context, &error))
        << error;
    EXPECT_EQ(Calls(), c.expected + "\n") << c.context;
  }
}

TEST_F(ScriptPageTest, ScriptFailuresComeBackAsMessages) {
  struct Case {
    const char* source;
    const char* mention;
  } cases[] = {
      {"var = ;", "SyntaxError"},
      {"\n\nthrow new Error('stopped here');", "第 3 行"},
      {"new ActiveXObject('Trovex.Missing');", "Trovex.Missing"},
      {"\nnew ActiveXObject('Trovex.Missing');", "test.js 第 2 行"},
      {"new ActiveXObject();", "ProgID"},
      {"new ActiveXObject('Trovex.Fake').NoSuchMethod();", "TypeError"},
      {"new ActiveXObject('Trovex.Fake').GetSWFFile(1.5);", "參數型別"},
      {"new ActiveXObject('Trovex.Fake').GetSWFFile(document, 2);", "0x8002000E"},
      {"if (new ActiveXObject('Trovex.Fake').GetSWFFile(null) !== 7) throw new Error('wrong result');"
       "if (document.URL.indexOf('127.0.0.1') < 0) throw new Error('no address');"
       "if (external.menuArguments !== null) throw new Error('not from a menu');"
       "throw new Error('all seen');",
       "all seen"},
  };
  ComPtr<IHTMLDocument2> document = DocumentOf(page_.Get());
  for (const Case& c : cases) {
    ScriptContext context;
    context.pDocument = document.Get();
    std::string error;
    EXPECT_FALSE(RunScript(c.source, "test.js", context, &error)) << c.source;
    EXPECT_NE(error.find(c.mention), std::string::npos) << c.source << " gave: " << error;
  }
}

TEST_F(ScriptPageTest, DirectCallPassesTheDocumentAndGivesTheResult) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"SWFOrdavin.InternetExplorer", &clsid), S_OK);
  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.AsVoidOut()), S_OK);
  ComPtr<IHTMLDocument2> document = DocumentOf(page_.Get());
  long result = 0;
  std::string error;
  EXPECT_EQ(CallGetSWFFile(object.Get(), document.Get(), &result, &error), S_OK) << error;
  EXPECT_EQ(result, 7);
  result = 0;
  EXPECT_EQ(CallGetSWFFile(object.Get(), nullptr, &result, &error), S_OK) << error;
  EXPECT_EQ(result, 7);
  EXPECT_EQ(Calls(), server_.Url("/") + "\nnull\n");
  EXPECT_EQ(CallGetSWFFile(nullptr, nullptr, &result, &error), E_POINTER);
}

TEST(ScriptExtractionTest, TakesInlineJavaScriptInOrder) {
  struct Case {
    const char* html;
    std::vector<std::string> expected;
  } cases[] = {
      {"<script>a()</script><p>x</p><script type='text/javascript'>b()</script>", {"a()", "b()"}},
      {"<script src='x.js'></script><script type='text/vbscript'>c</script>", {}},
      {"<script language='JavaScript'>d()</script><script type=' application/javascript '>e()</script>",
       {"d()", "e()"}},
      {"<div><script>if (1 < 2) f()</script></div>", {"if (1 < 2) f()"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ExtractScripts(c.html), c.expected) << c.html;
}

TEST(ScriptPageFileTest, MissingOrEmptyPagesAreReported) {
  test::TempDir dir;
  std::string empty = dir.WriteFile("empty.htm", "<p>no script</p>");
  for (const std::string& path : {dir.str() + "/missing.htm", empty}) {
    std::string error;
    EXPECT_FALSE(RunScriptPage(path, ScriptContext{}, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace trovex::browser

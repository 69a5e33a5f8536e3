// GetSWFFile through the dispatch interface, on pages the browser's page model loads from
// disk: the frame's document still gives the whole page; a page without movies and a null
// document give message 32000 and 1; every document-model object is released afterwards.
#include "module/internet_explorer.h"

#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "framework/wx_text.h"
#include "platform/com/automation_call.h"
#include "res/strings.h"
#include "settings/profile.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"
#include "save_dialog/dlg_save.h"

namespace trovex {
namespace {

using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;

struct Loaded {
  ComPtr<IWebBrowser2> browser;
  ComPtr<IHTMLDocument2> top;
};

Loaded Load(const std::string& path) {
  std::string error;
  Loaded l;
  l.browser = browser::LoadPage(browser::AddressFromUserInput(path, &error), {}, &error);
  EXPECT_TRUE(l.browser) << error;
  if (l.browser) l.top = browser::DocumentOf(l.browser.Get());
  return l;
}

// The document of the first frame of a page.
ComPtr<IHTMLDocument2> FirstFrameDocument(IHTMLDocument2* top) {
  ComPtr<IOleContainer> container;
  ComPtr<IHTMLDocument2>(top).As(IID_IOleContainer, &container);
  ComPtr<IEnumUnknown> objects;
  if (!container || FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf()))) return nullptr;
  IUnknown* next = nullptr;
  ULONG fetched = 0;
  while (objects->Next(1, &next, &fetched) == S_OK && fetched == 1) {
    ComPtr<IUnknown> object = ComPtr<IUnknown>::Attach(next);
    ComPtr<IWebBrowser2> frame;
    if (FAILED(object.As(IID_IWebBrowser2, &frame))) continue;
    ComPtr<IDispatch> doc;
    frame->get_Document(doc.GetAddressOf());
    ComPtr<IHTMLDocument2> html;
    if (doc) doc.As(IID_IHTMLDocument2, &html);
    return html;
  }
  return nullptr;
}

long InvokeGetSWFFile(IDispatch* document) {
  ComPtr<IDispatch> object = ComPtr<IDispatch>::Attach(CInternetExplorer::Create());
  long result = -1;
  std::string error;
  EXPECT_EQ(CallGetSWFFile(object.Get(), document, &result, &error), S_OK) << error;
  return result;
}

class GetSWFFile : public testing::Test {
 protected:
  void SetUp() override { SetDefaultProfileRoot(); }
  test::IsolatedHome home_;
  test::TempDir site_;
};

TEST_F(GetSWFFile, FrameDocumentShowsTheWholePage) {
  site_.WriteFile("a.swf", "FWS");
  site_.WriteFile("b.swf", "FWS");
  site_.WriteFile("c.swf", "FWS");
  site_.WriteFile("left.html", "<embed src='a.swf'>");
  site_.WriteFile("right.html", "<embed src='b.swf'>");
  const std::string top = site_.WriteFile(
      "index.html", "<frameset cols='50%,50%'><frame src='left.html'><frame src='right.html'></frameset>"
                    "<noframes><embed src='c.swf'></noframes>");
  std::vector<std::string> urls;
  {
    Loaded page = Load(top);
    ASSERT_TRUE(page.top);
    ComPtr<IHTMLDocument2> frame = FirstFrameDocument(page.top.Get());
    ASSERT_TRUE(frame);
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog& d) {
      auto* list = d.GetDlgItemAs<wxListCtrl>(IDC_SAVE_LIST);
      for (long i = 0; i < list->GetItemCount(); ++i) urls.push_back(FromWx(list->GetItemText(i, kColumnURL)));
      d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(InvokeGetSWFFile(frame.Get()), 0);
  }
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_NE(urls[0].find("a.swf"), std::string::npos);
  EXPECT_NE(urls[1].find("b.swf"), std::string::npos);
  EXPECT_EQ(browser::LiveDomObjectCount(), 0u) << "a document-model object was not released";
  EXPECT_EQ(CInternetExplorer::ObjectCount(), 0);
}

TEST_F(GetSWFFile, NoMovieOrNoDocumentShowsMessage32000AndGivesOne) {
  const std::string empty = site_.WriteFile("empty.html", "<p>nothing to see</p>");
  const std::string notSwf = site_.WriteFile("other.html", "<embed src='clip.mp4' type='video/mp4'>");
  struct Case {
    const char* name;
    std::string page;  // empty: a null document
  } cases[] = {{"a page without movies", empty}, {"only other media", notSwf}, {"a null document", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MessageBoxRecord box;
    {
      Loaded page;
      if (!c.page.empty()) page = Load(c.page);
      DialogScript script;  // no Save dialog may appear
      wxTEST_DIALOG(EXPECT_EQ(InvokeGetSWFFile(page.top.Get()), 1), ExpectMessageBox(wxID_OK, &box));
    }
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(box.text, LoadResStringUtf8(IDS_NO_FLASH_ON_PAGE));
    EXPECT_EQ(box.caption, LoadResStringUtf8(IDS_APP_TITLE));
    EXPECT_TRUE(box.style & wxICON_INFORMATION);
    EXPECT_EQ(browser::LiveDomObjectCount(), 0u);
  }
}

TEST(GetSWFFileDispatch, NamesAndArgumentsAreChecked) {
  ComPtr<IDispatch> object = ComPtr<IDispatch>::Attach(CInternetExplorer::Create());
  struct NameCase {
    const char* name;
    HRESULT hr;
    DISPID id;
  } names[] = {{"GetSWFFile", S_OK, 1}, {"getswffile", S_OK, 1}, {"GetSWFFiles", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
               {"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN}};
  for (const auto& c : names) {
    SCOPED_TRACE(c.name);
    BStr name = BStr::FromUtf8(c.name);
    OLECHAR* list[] = {name.Get()};
    DISPID id = 99;
    EXPECT_EQ(object->GetIDsOfNames(GUID_NULL, list, 1, 0, &id), c.hr);
    EXPECT_EQ(id, c.id);
  }
  VARIANT args[3];
  for (VARIANT& arg : args) VariantInit(&arg);
  args[0].vt = VT_I4;
  struct InvokeCase {
    const char* name;
    DISPID id;
    WORD flags;
    UINT count;
    HRESULT hr;
  } calls[] = {
      {"unknown member", 2, DISPATCH_METHOD, 1, DISP_E_MEMBERNOTFOUND},
      {"property put", 1, DISPATCH_PROPERTYPUT, 1, DISP_E_MEMBERNOTFOUND},
      {"no argument", 1, DISPATCH_METHOD, 0, DISP_E_BADPARAMCOUNT},
      // The second argument, last first, is the cookie jar's path: text only.
      {"a number for the cookie jar", 1, DISPATCH_METHOD, 2, DISP_E_TYPEMISMATCH},
      {"three arguments", 1, DISPATCH_METHOD, 3, DISP_E_BADPARAMCOUNT},
      {"a number for the document", 1, DISPATCH_METHOD, 1, DISP_E_TYPEMISMATCH},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.name);
    DISPPARAMS params{args, nullptr, c.count, 0};
    Variant result;
    UINT argErr = 7;
    DialogScript script;  // nothing may be shown
    EXPECT_EQ(object->Invoke(c.id, GUID_NULL, 0, c.flags, &params, result.Ptr(), nullptr, &argErr), c.hr);
    EXPECT_EQ(result.get().vt, VT_EMPTY);
  }
}

}  // namespace
}  // namespace trovex

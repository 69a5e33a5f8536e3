#include "browser/extension_run.h"

#include <deque>

#include "pageloader/loader.h"
#include "browser/script_engine.h"
#include "pageloader/url.h"
#include "platform/text/unicode.h"

namespace trovex::browser {

ComPtr<IHTMLDocument2> FindDocumentByUrl(IHTMLDocument2* top, const std::string& url) {
  const std::string wanted = StripFragment(url);
  std::deque<ComPtr<IHTMLDocument2>> queue;
  if (top) queue.emplace_back(top);
  // The browser bounds frames; this bound only keeps a faulty model from looping.
  for (int visited = 0; !queue.empty() && visited < 100000; ++visited) {
    ComPtr<IHTMLDocument2> document = queue.front();
    queue.pop_front();
    BStr address;
    if (SUCCEEDED(document->get_URL(address.GetAddressOf())) &&
        StripFragment(Utf16ToUtf8(BstrToU16(address.Get()))) == wanted)
      return document;
    ComPtr<IOleContainer> container;
    ComPtr<IEnumUnknown> objects;
    if (FAILED(document.As(IID_IOleContainer, &container)) ||
        FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf())) || !objects)
      continue;
    for (;;) {
      ComPtr<IUnknown> object;
      ULONG fetched = 0;
      if (objects->Next(1, object.GetAddressOf(), &fetched) != S_OK || fetched != 1) break;
      ComPtr<IWebBrowser2> frame;
      if (FAILED(object.As(IID_IWebBrowser2, &frame))) continue;
      if (ComPtr<IHTMLDocument2> child = DocumentOf(frame.Get())) queue.push_back(child);
    }
  }
  return nullptr;
}

bool RunExtension(IWebBrowser2* page, const std::string& scriptPath, const std::string* contextUrl,
                  std::string* error) {
  ComPtr<IHTMLDocument2> document = DocumentOf(page);
  ComPtr<IHTMLWindow2> menuWindow;
  if (contextUrl && document) {
    ComPtr<IHTMLDocument2> target = FindDocumentByUrl(document.Get(), *contextUrl);
    if (!target) target = document;
    if (FAILED(target->get_parentWindow(menuWindow.GetAddressOf()))) menuWindow.Reset();
  }
  ScriptContext context;
  context.pDocument = document.Get();
  context.pMenuWindow = menuWindow.Get();
  return RunScriptPage(scriptPath, context, error);
}

}  // namespace trovex::browser

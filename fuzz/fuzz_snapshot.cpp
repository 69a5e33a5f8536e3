// The snapshot reader and the walker on arbitrary bytes: a snapshot is what a page's scripts
// can shape, so any input is refused or read, and what is read is scanned without a fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_env.h"
#include "pagemodel/document_model.h"
#include "pagemodel/snapshot.h"
#include "scan/document_walker.h"

using namespace trovex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  std::string_view json(reinterpret_cast<const char*>(data), size);
  pagemodel::SnapshotLimits limits;
  limits.nMaxElements = 2000;
  std::string error;
  pagemodel::SessionPtr session = pagemodel::ReadSnapshot(json, limits, &error);
  if (!session) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  ComPtr<IWebBrowser2> browser = pagemodel::BrowserOf(session);
  ComPtr<IHTMLDocument2> document = pagemodel::DocumentOf(browser.Get());
  SWFFileList list;
  ScanDocument(document.Get(), list);
  return 0;
}

// The page model and the scanner on arbitrary HTML: the first byte picks the charset the server
// names, the rest is the page; the page is parsed, exposed as a document and scanned for movies,
// and the list is formatted as --list prints it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "browser/list_output.h"
#include "pageloader/page.h"
#include "pagemodel/session.h"
#include "fuzz/fuzz_env.h"
#include "scan/document_walker.h"

using namespace trovex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  if (size == 0) return 0;
  static const char* const kTypes[] = {
      "text/html", "text/html; charset=utf-8", "text/html; charset=big5",
      "text/html; charset=windows-1252", "text/html; charset=utf-16le", "text/html; charset=gbk",
      "text/html; charset=shift_jis", "text/html; charset=utf-7", "text/html; charset=iso-2022-jp",
  };
  const char* type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

  auto session = std::make_shared<pagemodel::Session>();
  browser::PageBudget budget;
  session->pages.push_back(
      browser::ParsePage("http://fuzz.example/dir/page.html", body, type, &budget));
  ComPtr<IHTMLDocument2> document = pagemodel::GetDocument(session, 0);
  SWFFileList list;
  ScanDocument(document.Get(), list);
  std::string out = browser::FormatMovieList(list);
  // One line per movie, nine fields each (four, then the movie's facts): nothing in a field may
  // break the format.
  std::size_t lines = 0, tabs = 0;
  for (char c : out) {
    lines += c == '\n';
    tabs += c == '\t';
  }
  if (lines != list.GetCount() || tabs != 8 * lines) __builtin_trap();
  return 0;
}

// Parsing a page's source into the page data of the document model.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pagemodel/page_data.h"

namespace trovex::browser {

using pagemodel::ElementData;
using pagemodel::ElementKind;
using pagemodel::IsFlashClassId;
using pagemodel::PageData;


// What one page load keeps in memory, all its frames together, so that no page can take all
// of it. ParsePage takes its share and says what it left out.
struct PageBudget {
  std::size_t nDocumentBytes = 64u << 20;   // document bytes parsed
  std::size_t nElements = 200000;           // exposed elements kept
  std::size_t nAttributeBytes = 32u << 20;  // their attribute names and values
  // Start tags parsed in any one document: the parse tree of a document takes memory by its
  // tags, about 400 bytes each, whatever few bytes each tag has in the document.
  std::size_t nTagsPerDocument = 500000;
  // Nesting of elements that need an end tag: the parser's time grows with the square of the
  // depth (200,000 nested divs took minutes), and no real page comes near this.
  std::size_t nNestingDepth = 10000;
  std::vector<std::string> notes;           // one line for each cut
};

struct DecodedPage;
struct ParseTree;
class ParsedAhead;

// Where the per-document limits of a budget cut a document's text.
struct DocumentCut {
  std::size_t pos = std::string_view::npos;  // npos: not cut
  bool bByDepth = false;
};

// Decodes `body` (charset from the BOM, the Content-Type, <meta>, else windows-1252) and parses
// it. `url` becomes the document's address. With a budget, a document beyond the bytes left
// is parsed only up to them, and elements beyond the elements or attribute bytes left are not
// kept; the budget is charged and told. `ahead`: the same body decoded and parsed beforehand
// (used only when the budget takes the whole body under the same limits; else parsed here).
PageData ParsePage(const std::string& url, std::string_view body, std::string_view contentType,
                   PageBudget* budget = nullptr, const ParsedAhead* ahead = nullptr);

// A document decoded and parsed on another thread while the page load works on earlier ones:
// what depends on the page load's budget (which elements are kept) is left to ParsePage.
class ParsedAhead {
 public:
  // `limits`: the per-document limits of the budget the page will be charged to.
  ParsedAhead(std::string_view body, std::string_view contentType, const PageBudget& limits);
  ~ParsedAhead();
  ParsedAhead(const ParsedAhead&) = delete;
  ParsedAhead& operator=(const ParsedAhead&) = delete;

 private:
  friend PageData ParsePage(const std::string&, std::string_view, std::string_view, PageBudget*,
                            const ParsedAhead*);
  bool Fits(std::string_view body, const PageBudget& budget) const;

  std::size_t nBodyBytes_;
  std::size_t nTagsPerDocument_;
  std::size_t nNestingDepth_;
  std::unique_ptr<DecodedPage> decoded_;  // the tree points into its text
  std::unique_ptr<ParseTree> tree_;
  DocumentCut cut_;
};

// An empty document, as an IFRAME without a source shows.
PageData BlankPage();

}  // namespace trovex::browser

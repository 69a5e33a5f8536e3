// Parsing a page's source into the page data of the document model.
#pragma once

#include <cstddef>
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

// Decodes `body` (charset from the BOM, the Content-Type, <meta>, else windows-1252) and parses
// it. `url` becomes the document's address. With a budget, a document beyond the bytes left
// is parsed only up to them, and elements beyond the elements or attribute bytes left are not
// kept; the budget is charged and told.
PageData ParsePage(const std::string& url, std::string_view body, std::string_view contentType,
                   PageBudget* budget = nullptr);

// An empty document, as an IFRAME without a source shows.
PageData BlankPage();

}  // namespace trovex::browser

// One parsed page as the document model sees it: its address and the elements the model
// exposes (OBJECT, APPLET, EMBED, FRAME, IFRAME), in document order. Text is UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex::browser {

enum class ElementKind { kObject, kApplet, kEmbed, kFrame, kIFrame };

struct ElementData {
  ElementKind kind = ElementKind::kObject;
  std::vector<std::pair<std::string, std::string>> attributes;  // names lower case
  // OBJECT: the value of its first PARAM named "movie" (any case), when it has one.
  bool bHasParamMovie = false;
  std::string strParamMovie;
  // EMBED: inside an OBJECT that carries the Flash class id (whose control plays instead).
  bool bInFlashObject = false;
  // FRAME / IFRAME: index of the loaded page in the session, -1 when it has none.
  int nFramePage = -1;

  // The attribute's value, names compared ignoring ASCII case; null when absent.
  const std::string* Find(std::string_view name) const;
  const char* TagName() const;  // "OBJECT", "EMBED"...
  bool IsFrame() const { return kind == ElementKind::kFrame || kind == ElementKind::kIFrame; }
  // OBJECT: its movie attribute or, failing that, its PARAM named movie; null when neither.
  const std::string* Movie() const;
};

struct PageData {
  std::string strRequestedURL;  // what was asked for
  std::string strURL;           // the document's address (after redirects)
  std::string strBaseURL;       // what relative references resolve against (<base href>)
  std::string strCharset;       // iconv name the page was decoded with
  int nParent = -1;             // page index of the containing document
  int nDepth = 0;               // 0 for the top-level page
  long nStatus = 0;             // HTTP status, 0 for local pages
  std::vector<ElementData> elements;        // all exposed elements, document order
  std::vector<std::size_t> applets;         // OBJECT and APPLET
  std::vector<std::size_t> embeds;          // EMBED
  std::vector<std::size_t> embeddings;      // FRAME, IFRAME, OBJECT, EMBED
};

// ASCII letters compared ignoring case; other bytes must be equal.
bool EqualsNoCase(std::string_view a, std::string_view b);

// True when the classid text holds the Flash class id, in any letter case.
bool IsFlashClassId(std::string_view classid);

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

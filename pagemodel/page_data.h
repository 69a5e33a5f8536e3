// One page as the document model sees it: its address and the elements the model exposes
// (OBJECT, APPLET, EMBED, FRAME, IFRAME), in document order. Text is UTF-8. Filled from a
// parsed source or from a snapshot of a live page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text/ascii.h"

namespace trovex::pagemodel {

enum class ElementKind { kObject, kApplet, kEmbed, kFrame, kIFrame };

struct ElementData {
  ElementKind kind = ElementKind::kObject;
  std::vector<std::pair<std::string, std::string>> attributes;  // names lower case
  // OBJECT: the value of its first PARAM named "movie" (any case), when it has one.
  bool bHasParamMovie = false;
  std::string strParamMovie;
  // OBJECT: its first PARAM of each name the player reads beside the movie (kPlayerParams),
  // names lower case.
  std::vector<std::pair<std::string, std::string>> params;
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
  // OBJECT: the value of its PARAM of that name (any case); null when it has none.
  const std::string* Param(std::string_view name) const;
  // Keeps a PARAM when the player reads it and none of its name was kept before.
  void AddParam(std::string_view name, std::string value);
};

// The PARAMs besides movie that hand a movie its settings.
inline constexpr std::string_view kPlayerParams[] = {"flashvars", "base"};

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

// True when the classid text holds the Flash class id, in any letter case.
bool IsFlashClassId(std::string_view classid);

}  // namespace trovex::pagemodel

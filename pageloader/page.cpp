#include "pageloader/page.h"

#include <gumbo.h>

#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "pageloader/charset.h"
#include "pageloader/parse_arena.h"
#include "pageloader/url.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

const char* GetAttribute(const GumboElement& e, const char* name) {
  const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
  return a ? a->value : nullptr;
}

std::string MetaCharsetLabel(const GumboElement& e) {
  if (const char* charset = GetAttribute(e, "charset")) return charset;
  const char* equiv = GetAttribute(e, "http-equiv");
  const char* content = GetAttribute(e, "content");
  if (equiv && content && AsciiEqualsNoCase(equiv, "content-type"))
    return CharsetLabelFromContentType(std::string("text/html;") + content);
  return "";
}

struct Walk {
  const GumboNode* node;
  int nObject;     // innermost enclosing OBJECT element, -1 when none
  bool bInFlash;   // some enclosing OBJECT carries the Flash class id
};

std::size_t AttributeBytes(const GumboElement& e) {
  std::size_t bytes = 0;
  for (unsigned i = 0; i < e.attributes.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
    bytes += std::strlen(a->name) + std::strlen(a->value);
  }
  return bytes;
}

// Fills `page` from the parse tree, keeping what the budget allows; returns the label of the
// first <meta> charset.
std::string Collect(const GumboNode* root, PageData* page, PageBudget* budget) {
  std::size_t dropped = 0;
  std::string metaLabel;
  bool haveMeta = false, haveBase = false;
  std::vector<Walk> stack{{root, -1, false}};
  while (!stack.empty()) {
    Walk w = stack.back();
    stack.pop_back();
    const GumboVector* children = nullptr;
    if (w.node->type == GUMBO_NODE_DOCUMENT) {
      children = &w.node->v.document.children;
    } else if (w.node->type == GUMBO_NODE_ELEMENT) {
      const GumboElement& e = w.node->v.element;
      children = &e.children;
      if (e.tag_namespace == GUMBO_NAMESPACE_HTML) {
        ElementData data;
        bool exposed = true;
        switch (e.tag) {
          case GUMBO_TAG_OBJECT: data.kind = ElementKind::kObject; break;
          case GUMBO_TAG_APPLET: data.kind = ElementKind::kApplet; break;
          case GUMBO_TAG_EMBED: data.kind = ElementKind::kEmbed; break;
          case GUMBO_TAG_FRAME: data.kind = ElementKind::kFrame; break;
          case GUMBO_TAG_IFRAME: data.kind = ElementKind::kIFrame; break;
          default: exposed = false; break;
        }
        if (exposed && budget) {
          std::size_t bytes = AttributeBytes(e);
          if (budget->nElements == 0 || bytes > budget->nAttributeBytes) {
            ++dropped;
            exposed = false;
            if (e.tag == GUMBO_TAG_OBJECT) w.nObject = -1;  // its PARAMs belong to no kept OBJECT
          } else {
            --budget->nElements;
            budget->nAttributeBytes -= bytes;
          }
        }
        if (exposed) {
          data.attributes.reserve(e.attributes.length);
          for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            data.attributes.emplace_back(a->name, a->value);
          }
          data.bInFlashObject = w.bInFlash;
          std::size_t index = page->elements.size();
          page->elements.push_back(std::move(data));
          if (e.tag == GUMBO_TAG_OBJECT || e.tag == GUMBO_TAG_APPLET) page->applets.push_back(index);
          if (e.tag == GUMBO_TAG_EMBED) page->embeds.push_back(index);
          if (e.tag != GUMBO_TAG_APPLET) page->embeddings.push_back(index);
          if (e.tag == GUMBO_TAG_OBJECT) {
            w.nObject = static_cast<int>(index);
            const std::string* classid = page->elements[index].Find("classid");
            if (classid && IsFlashClassId(*classid)) w.bInFlash = true;
          }
        } else if (e.tag == GUMBO_TAG_PARAM && w.nObject >= 0) {
          ElementData& object = page->elements[w.nObject];
          const char* name = GetAttribute(e, "name");
          if (!object.bHasParamMovie && name && AsciiEqualsNoCase(name, "movie")) {
            const char* value = GetAttribute(e, "value");
            object.bHasParamMovie = true;
            object.strParamMovie = value ? value : "";
          } else if (name) {
            const char* value = GetAttribute(e, "value");
            object.AddParam(name, value ? value : "");
          }
        } else if (e.tag == GUMBO_TAG_BASE && !haveBase) {
          if (const char* href = GetAttribute(e, "href")) {
            haveBase = true;
            std::string base = ResolveUrl(page->strURL, href);
            if (!base.empty()) page->strBaseURL = base;
          }
        } else if (e.tag == GUMBO_TAG_META && !haveMeta) {
          metaLabel = MetaCharsetLabel(e);
          haveMeta = !metaLabel.empty();
        }
      }
    }
    // A template's content is not part of the document.
    if (!children || w.node->type == GUMBO_NODE_TEMPLATE) continue;
    for (unsigned i = children->length; i-- > 0;) {
      const auto* child = static_cast<const GumboNode*>(children->data[i]);
      if (child->type == GUMBO_NODE_ELEMENT) stack.push_back({child, w.nObject, w.bInFlash});
    }
  }
  if (dropped)
    budget->notes.push_back(FormatResString(IDS_TROVEX_LOADER_ELEMENTS_DROPPED, page->strURL.c_str(), static_cast<int>(dropped)));
  return metaLabel;
}

// Elements that never nest by their start tag alone: void elements and those whose end tag
// may be left out (an unclosed <p> or <li> closes itself at the next one). Every tag of a
// document is looked up here, so the names are kept by length.
bool OpensNoLevel(std::string_view name) {
  static constexpr std::string_view k1[] = {"p"};
  static constexpr std::string_view k2[] = {"br", "hr", "li", "dt", "dd", "tr", "td", "th", "rb", "rt", "rp"};
  static constexpr std::string_view k3[] = {"col", "img", "wbr", "rtc"};
  static constexpr std::string_view k4[] = {"area", "base", "link", "meta", "html", "head", "body"};
  static constexpr std::string_view k5[] = {"embed", "input", "param", "track", "thead",
                                            "tbody", "tfoot", "frame", "image"};
  static constexpr std::string_view k6[] = {"keygen", "source", "option"};
  static constexpr std::string_view k7[] = {"caption", "bgsound", "isindex"};
  static constexpr std::string_view k8[] = {"optgroup", "colgroup", "basefont", "menuitem"};
  static constexpr std::span<const std::string_view> kByLength[] = {{}, k1, k2, k3, k4, k5, k6, k7, k8};
  if (name.empty() || name.size() >= std::size(kByLength)) return false;
  char lower[std::size(kByLength)];
  for (std::size_t i = 0; i < name.size(); ++i) lower[i] = static_cast<char>(name[i] | 0x20);
  const std::string_view key(lower, name.size());
  for (std::string_view n : kByLength[name.size()])
    if (n == key) return true;
  return false;
}

// Where the document is cut so that at most `maxTags` start tags are parsed and elements nest
// at most about `maxDepth` deep (counted from start and end tags, without parsing).
DocumentCut FindDocumentCut(std::string_view html, std::size_t maxTags, std::size_t maxDepth) {
  std::size_t tags = 0, depth = 0;
  auto isLetter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
  for (std::size_t pos = html.find('<'); pos != std::string_view::npos; pos = html.find('<', pos + 1)) {
    const bool end = pos + 1 < html.size() && html[pos + 1] == '/';
    const std::size_t nameAt = pos + (end ? 2 : 1);
    if (nameAt >= html.size() || !isLetter(html[nameAt])) continue;
    std::size_t nameEnd = nameAt;
    while (nameEnd < html.size() && (isLetter(html[nameEnd]) || (html[nameEnd] >= '0' && html[nameEnd] <= '9')))
      ++nameEnd;
    if (end) {
      if (depth > 0 && !OpensNoLevel(html.substr(nameAt, nameEnd - nameAt))) --depth;
      continue;
    }
    if (++tags > maxTags) return {pos, false};
    if (!OpensNoLevel(html.substr(nameAt, nameEnd - nameAt)) && ++depth > maxDepth) return {pos, true};
  }
  return {};
}

void NoteCut(const DocumentCut& cut, const std::string& url, const PageBudget& limits,
             std::vector<std::string>* notes) {
  if (cut.pos == std::string_view::npos) return;
  if (cut.bByDepth)
    notes->push_back(FormatResString(IDS_TROVEX_LOADER_NESTING_CUT, url.c_str(), static_cast<int>(limits.nNestingDepth)));
  else
    notes->push_back(FormatResString(IDS_TROVEX_LOADER_TAGS_CUT, url.c_str(), static_cast<int>(limits.nTagsPerDocument)));
}

}  // namespace

// The parse tree of a document; `utf8` must outlive it. Its memory is the arena's, freed
// with it in one go rather than node by node.
struct ParseTree {
  explicit ParseTree(std::string_view utf8) {
    GumboOptions options = kGumboDefaultOptions;
    // Parse errors are not needed, and recording them copies the open-element stack each
    // time: deeply nested pages would take memory by the square of their depth.
    options.max_errors = 0;
    options.allocator = &ParseArena::ParserAllocate;
    options.deallocator = &ParseArena::ParserDeallocate;
    options.userdata = &arena;
    output = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
  }
  ParseTree(const ParseTree&) = delete;
  ParseTree& operator=(const ParseTree&) = delete;

  ParseArena arena;
  GumboOutput* output = nullptr;
};

namespace {

std::string ParseInto(std::string_view utf8, PageData* page, PageBudget* budget) {
  if (budget) {
    DocumentCut cut = FindDocumentCut(utf8, budget->nTagsPerDocument, budget->nNestingDepth);
    NoteCut(cut, page->strURL, *budget, &budget->notes);
    if (cut.pos != std::string_view::npos) utf8 = utf8.substr(0, cut.pos);
  }
  ParseTree tree(utf8);
  return Collect(tree.output->document, page, budget);
}

// Takes the document's share of the budget: the body, cut to the bytes that are left.
std::string_view ChargeDocument(const std::string& url, std::string_view body, PageBudget* budget) {
  if (!budget) return body;
  if (body.size() > budget->nDocumentBytes) {
    budget->notes.push_back(FormatResString(IDS_TROVEX_LOADER_DOCUMENT_BYTES_CUT, url.c_str(),
                                            std::to_string(body.size()).c_str(),
                                            std::to_string(budget->nDocumentBytes).c_str()));
    body = body.substr(0, budget->nDocumentBytes);
  }
  budget->nDocumentBytes -= body.size();
  return body;
}

}  // namespace

ParsedAhead::ParsedAhead(std::string_view body, std::string_view contentType, const PageBudget& limits)
    : nBodyBytes_(body.size()),
      nTagsPerDocument_(limits.nTagsPerDocument),
      nNestingDepth_(limits.nNestingDepth),
      decoded_(std::make_unique<DecodedPage>(DecodePage(body, contentType))) {
  cut_ = FindDocumentCut(decoded_->strUtf8, nTagsPerDocument_, nNestingDepth_);
  std::string_view utf8 = decoded_->strUtf8;
  tree_ = std::make_unique<ParseTree>(cut_.pos == std::string_view::npos ? utf8 : utf8.substr(0, cut_.pos));
}

ParsedAhead::~ParsedAhead() = default;

bool ParsedAhead::Fits(std::string_view body, const PageBudget& budget) const {
  return body.size() == nBodyBytes_ && budget.nTagsPerDocument == nTagsPerDocument_ &&
         budget.nNestingDepth == nNestingDepth_;
}

PageData ParsePage(const std::string& url, std::string_view body, std::string_view contentType,
                   PageBudget* budget, const ParsedAhead* ahead) {
  body = ChargeDocument(url, body, budget);
  // A second parse (a late <meta>) replaces the first, so it is charged from the same point.
  std::optional<PageBudget> before;
  if (budget) before = *budget;
  // Parsed ahead with the same limits and the whole body: the same tree this parse would make.
  if (ahead && !(budget && ahead->Fits(body, *budget))) ahead = nullptr;
  DecodedPage decodedHere;
  if (!ahead) decodedHere = DecodePage(body, contentType);
  const DecodedPage& decoded = ahead ? *ahead->decoded_ : decodedHere;
  PageData page;
  page.strURL = url;
  page.strBaseURL = url;
  page.strCharset = decoded.strCharset;
  std::string label;
  if (ahead) {
    NoteCut(ahead->cut_, url, *budget, &budget->notes);
    label = Collect(ahead->tree_->output->document, &page, budget);
  } else {
    label = ParseInto(decoded.strUtf8, &page, budget);
  }
  if (decoded.bFromMetaOrDefault && !label.empty()) {
    // A <meta> beyond the first bytes still decides, as browsers re-decode on meeting it.
    std::string charset = CharsetFromLabel(label);
    if (charset.rfind("UTF-16", 0) == 0) charset = "UTF-8";
    if (!charset.empty() && charset != decoded.strCharset) {
      PageData again;
      again.strURL = url;
      again.strBaseURL = url;
      again.strCharset = charset;
      if (budget) *budget = std::move(*before);
      ParseInto(DecodeToUtf8(body, charset), &again, budget);
      return again;
    }
  }
  return page;
}

PageData BlankPage() {
  PageData page;
  page.strURL = page.strRequestedURL = page.strBaseURL = "about:blank";
  return page;
}

}  // namespace trovex::browser

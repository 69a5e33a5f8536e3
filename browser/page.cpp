#include "browser/page.h"

#include <gumbo.h>

#include "browser/charset.h"
#include "browser/url.h"

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
  if (equiv && content && EqualsNoCase(equiv, "content-type"))
    return CharsetLabelFromContentType(std::string("text/html;") + content);
  return "";
}

struct Walk {
  const GumboNode* node;
  int nObject;     // innermost enclosing OBJECT element, -1 when none
  bool bInFlash;   // some enclosing OBJECT carries the Flash class id
};

// Fills `page` from the parse tree; returns the label of the first <meta> charset.
std::string Collect(const GumboNode* root, PageData* page) {
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
        if (exposed) {
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
          if (!object.bHasParamMovie && name && EqualsNoCase(name, "movie")) {
            const char* value = GetAttribute(e, "value");
            object.bHasParamMovie = true;
            object.strParamMovie = value ? value : "";
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
  return metaLabel;
}

std::string ParseInto(const std::string& utf8, PageData* page) {
  // Parse errors are not needed, and recording them copies the open-element stack each time:
  // deeply nested pages would take memory by the square of their depth.
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  GumboOutput* output = gumbo_parse_with_options(&options, utf8.data(), utf8.size());
  std::string label = Collect(output->document, page);
  gumbo_destroy_output(&options, output);
  return label;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const std::string* ElementData::Find(std::string_view name) const {
  for (const auto& [n, v] : attributes)
    if (EqualsNoCase(n, name)) return &v;
  return nullptr;
}

const char* ElementData::TagName() const {
  switch (kind) {
    case ElementKind::kObject: return "OBJECT";
    case ElementKind::kApplet: return "APPLET";
    case ElementKind::kEmbed: return "EMBED";
    case ElementKind::kFrame: return "FRAME";
    case ElementKind::kIFrame: return "IFRAME";
  }
  return "";
}

const std::string* ElementData::Movie() const {
  if (kind != ElementKind::kObject) return Find("movie");
  if (const std::string* movie = Find("movie")) return movie;
  return bHasParamMovie ? &strParamMovie : nullptr;
}

bool IsFlashClassId(std::string_view classid) {
  static constexpr std::string_view kFlash = "D27CDB6E-AE6D-11CF-96B8-444553540000";
  for (std::size_t i = 0; i + kFlash.size() <= classid.size(); ++i)
    if (EqualsNoCase(classid.substr(i, kFlash.size()), kFlash)) return true;
  return false;
}

PageData ParsePage(const std::string& url, std::string_view body, std::string_view contentType) {
  DecodedPage decoded = DecodePage(body, contentType);
  PageData page;
  page.strURL = url;
  page.strBaseURL = url;
  page.strCharset = decoded.strCharset;
  std::string label = ParseInto(decoded.strUtf8, &page);
  if (decoded.bFromMetaOrDefault && !label.empty()) {
    // A <meta> beyond the first bytes still decides, as browsers re-decode on meeting it.
    std::string charset = CharsetFromLabel(label);
    if (charset.rfind("UTF-16", 0) == 0) charset = "UTF-8";
    if (!charset.empty() && charset != decoded.strCharset) {
      PageData again;
      again.strURL = url;
      again.strBaseURL = url;
      again.strCharset = charset;
      ParseInto(DecodeToUtf8(body, charset), &again);
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

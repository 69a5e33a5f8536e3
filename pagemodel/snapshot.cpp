#include "pagemodel/snapshot.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>

namespace trovex::pagemodel {
namespace {

using Json = nlohmann::json;

struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A text field: absent or null is "no attribute", anything but text is refused.
std::optional<std::string> OptionalText(const Json& object, const char* name, const std::string& where) {
  auto it = object.find(name);
  if (it == object.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw Refusal(where + "." + name + ": text or null expected");
  return it->get<std::string>();
}

const Json* OptionalArray(const Json& object, const char* name, const std::string& where, bool required) {
  auto it = object.find(name);
  if (it == object.end()) {
    if (required) throw Refusal(where + "." + name + ": missing");
    return nullptr;
  }
  if (!it->is_array()) throw Refusal(where + "." + name + ": list expected");
  return &*it;
}

bool IsDocumentWithoutAddress(const std::string& url) {
  for (const char* name : {"about:blank", "about:srcdoc"}) {
    const std::size_t n = std::char_traits<char>::length(name);
    if (url.compare(0, n, name) == 0 && (url.size() == n || url[n] == '#' || url[n] == '?')) return true;
  }
  return false;
}

// A local address, as a URL parser would read the text: leading blanks and controls, and tabs
// and line breaks anywhere, do not count.
bool IsLocalAddress(std::string_view text) {
  std::string bare;
  for (char c : text) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (bare.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
    bare += c;
    if (bare.size() >= 5) break;
  }
  return AsciiStartsWithNoCase(bare, "file:");
}

class Reader {
 public:
  Reader(const SnapshotLimits& limits, Session& s, std::vector<std::string>& cuts)
      : limits_(limits), s_(s), cuts_(cuts), textBytesLeft_(limits.nMaxAttributeBytes) {}

  void ReadTop(const Json& top) {
    if (!top.is_object()) throw Refusal("the snapshot is not a JSON object");
    auto version = top.find("version");
    if (version == top.end()) throw Refusal("version: missing");
    if (!version->is_number_integer() || version->get<long long>() != kSnapshotVersion)
      throw Refusal("version: " + version->dump() + " is not supported (only " +
                    std::to_string(kSnapshotVersion) + ")");
    auto frames = top.find("frames");
    if (frames == top.end()) throw Refusal("frames: missing");
    if (!frames->is_object()) throw Refusal("frames: a frame object expected");
    ReadFrame(*frames, -1, 0, "frames");
    if (droppedFrames_)
      cuts_.push_back(s_.pages[0].strURL + ": " + std::to_string(droppedFrames_) +
                      " frames not kept: the snapshot's limit on frames or nesting was reached");
    if (droppedElements_)
      cuts_.push_back(s_.pages[0].strURL + ": " + std::to_string(droppedElements_) +
                      " objects, embeds and frames not kept: the snapshot's limit on elements "
                      "was reached");
    if (droppedTexts_)
      cuts_.push_back(s_.pages[0].strURL + ": " + std::to_string(droppedTexts_) +
                      " objects and embeds not kept: their attributes are longer than the snapshot "
                      "allows");
  }

 private:
  // Adds the frame as a page; returns its index.
  int ReadFrame(const Json& f, int parent, int depth, const std::string& where) {
    if (!f.is_object()) throw Refusal(where + ": a frame object expected");
    std::optional<std::string> url = OptionalText(f, "url", where);
    std::optional<std::string> base = OptionalText(f, "base", where);
    std::optional<std::string> error = OptionalText(f, "error", where);
    OptionalText(f, "tag", where);
    const bool failed = error.has_value();
    const Json* objects = OptionalArray(f, "objects", where, !failed);
    const Json* embeds = OptionalArray(f, "embeds", where, !failed);
    const Json* frames = OptionalArray(f, "frames", where, !failed);
    if (auto cut = f.find("cut"); cut != f.end()) {
      if (!cut->is_number_unsigned()) throw Refusal(where + ".cut: a count expected");
      const auto n = cut->get<unsigned long long>();
      if (n) cuts_.push_back(url.value_or("(frame)") + ": " + std::to_string(n) +
                             " objects and embeds not kept: the collector's limit on elements was reached");
    }
    if (url && url->size() > limits_.nMaxTextBytes) throw Refusal(where + ".url: longer than allowed");
    if (base && base->size() > limits_.nMaxTextBytes) throw Refusal(where + ".base: longer than allowed");
    const Json* loaded = OptionalArray(f, "loaded", where, false);
    if (parent < 0) {
      topIsLocal_ = url && IsLocalAddress(IsDocumentWithoutAddress(*url) && base ? *base : *url);
    } else if (!topIsLocal_ && ((url && IsLocalAddress(*url)) || (base && IsLocalAddress(*base)))) {
      // Only a local page reaches local files; a frame of a web page claiming one is not read.
      cuts_.push_back(s_.pages[parent].strURL + ": a frame at a local address left out: the page is not local");
      return -1;
    }

    s_.pages.emplace_back();
    const int index = static_cast<int>(s_.pages.size()) - 1;
    {
      PageData& page = s_.pages[index];
      page.strURL = url.value_or("");
      page.strRequestedURL = page.strURL;
      page.strBaseURL = base.value_or(page.strURL);
      // A frame with no address of its own (about:blank, srcdoc) shows what its creator wrote
      // into it, resolved against the creator's address: the walker derives its prefixes from
      // the document's address, so that is the address it gets.
      if (IsDocumentWithoutAddress(page.strURL) && !page.strBaseURL.empty() &&
          page.strBaseURL.compare(0, 6, "about:") != 0)
        page.strURL = page.strBaseURL;
      page.strCharset = "UTF-8";
      page.nParent = parent;
      page.nDepth = depth;
    }
    if (failed && parent >= 0)
      cuts_.push_back((url ? *url : std::string("a frame of ") + s_.pages[parent].strURL) +
                      ": not read: " + *error);

    // Objects, then embeds, each in document order; the walker reads each kind on its own.
    std::vector<int> objectIndex;  // snapshot object -> element index, -1 when not kept
    if (objects) {
      for (std::size_t i = 0; i < objects->size(); ++i) {
        const Json& o = (*objects)[i];
        const std::string at = where + ".objects[" + std::to_string(i) + "]";
        if (!o.is_object()) throw Refusal(at + ": an object expected");
        ElementData e;
        e.kind = ElementKind::kObject;
        if (auto v = OptionalText(o, "classid", at)) e.attributes.emplace_back("classid", std::move(*v));
        if (auto v = OptionalText(o, "movie", at)) {
          if (ForbiddenMovie(index, *v)) {
            objectIndex.push_back(-1);
            continue;
          }
          e.attributes.emplace_back("movie", std::move(*v));
        }
        for (std::string_view name : kPlayerParams)
          if (auto v = OptionalText(o, std::string(name).c_str(), at)) e.AddParam(name, std::move(*v));
        objectIndex.push_back(Keep(index, std::move(e)));
      }
    }
    if (embeds) {
      for (std::size_t i = 0; i < embeds->size(); ++i) {
        const Json& o = (*embeds)[i];
        const std::string at = where + ".embeds[" + std::to_string(i) + "]";
        if (!o.is_object()) throw Refusal(at + ": an object expected");
        ElementData e;
        e.kind = ElementKind::kEmbed;
        if (auto v = OptionalText(o, "src", at)) {
          if (ForbiddenMovie(index, *v)) continue;
          e.attributes.emplace_back("src", std::move(*v));
        }
        if (auto v = OptionalText(o, "type", at)) e.attributes.emplace_back("type", std::move(*v));
        for (std::string_view name : kPlayerParams)
          if (auto v = OptionalText(o, std::string(name).c_str(), at)) e.attributes.emplace_back(name, std::move(*v));
        if (auto owner = o.find("object"); owner != o.end()) {
          if (!owner->is_number_unsigned() || owner->get<unsigned long long>() >= objectIndex.size())
            throw Refusal(at + ".object: the index of an OBJECT of the frame expected");
          const int element = objectIndex[owner->get<std::size_t>()];
          if (element >= 0) {
            const std::string* classid = s_.pages[index].elements[element].Find("classid");
            e.bInFlashObject = classid && IsFlashClassId(*classid);
          }
        }
        Keep(index, std::move(e));
      }
    }
    // The movies the frame fetched while shown, after its own, as EMBEDs of the Flash type:
    // the walker then names, resolves and checks them as any other. An address the frame
    // already lists is not repeated.
    if (loaded) {
      std::set<std::string> seen;
      for (std::size_t i = 0; i < loaded->size(); ++i) {
        const Json& v = (*loaded)[i];
        const std::string at = where + ".loaded[" + std::to_string(i) + "]";
        if (!v.is_string()) throw Refusal(at + ": text expected");
        const std::string& address = v.get_ref<const std::string&>();
        if (ForbiddenMovie(index, address) || !seen.insert(address).second) continue;
        ElementData e;
        e.kind = ElementKind::kEmbed;
        e.attributes = {{"src", address}, {"type", "application/x-shockwave-flash"}};
        Keep(index, std::move(e));
      }
    }
    if (frames) {
      for (std::size_t i = 0; i < frames->size(); ++i) {
        const Json& child = (*frames)[i];
        const std::string at = where + ".frames[" + std::to_string(i) + "]";
        if (!child.is_object()) throw Refusal(at + ": a frame object expected");
        std::optional<std::string> tag = OptionalText(child, "tag", at);
        ElementData e;
        e.kind = tag && AsciiEqualsNoCase(*tag, "frame") ? ElementKind::kFrame : ElementKind::kIFrame;
        const int element = Keep(index, std::move(e));
        if (element < 0) continue;
        if (depth + 1 > limits_.nMaxDepth || framesKept_ >= limits_.nMaxFrames) {
          ++droppedFrames_;
          continue;
        }
        ++framesKept_;
        const int page = ReadFrame(child, index, depth + 1, at);
        if (page < 0) --framesKept_;
        s_.pages[index].elements[element].nFramePage = page;
      }
    }
    return index;
  }

  // A movie reference of a web page that names a local file: left out and reported.
  bool ForbiddenMovie(int pageIndex, const std::string& reference) {
    if (topIsLocal_ || !IsLocalAddress(reference)) return false;
    cuts_.push_back(s_.pages[pageIndex].strURL + ": a movie at a local address left out: the page is not local");
    return true;
  }

  // Adds the element to the page when the limits allow; its index, or -1.
  int Keep(int pageIndex, ElementData e) {
    std::size_t bytes = 0;
    for (const auto& [name, value] : e.attributes) {
      if (value.size() > limits_.nMaxTextBytes) {
        ++droppedTexts_;
        return -1;
      }
      bytes += name.size() + value.size();
    }
    if (elementsKept_ >= limits_.nMaxElements || bytes > textBytesLeft_) {
      ++droppedElements_;
      return -1;
    }
    ++elementsKept_;
    textBytesLeft_ -= bytes;
    PageData& page = s_.pages[pageIndex];
    const std::size_t index = page.elements.size();
    const ElementKind kind = e.kind;
    page.elements.push_back(std::move(e));
    if (kind == ElementKind::kObject) page.applets.push_back(index);
    if (kind == ElementKind::kEmbed) page.embeds.push_back(index);
    page.embeddings.push_back(index);
    return static_cast<int>(index);
  }

  const SnapshotLimits& limits_;
  Session& s_;
  std::vector<std::string>& cuts_;
  std::size_t textBytesLeft_;
  std::size_t elementsKept_ = 0;
  int framesKept_ = 0;
  bool topIsLocal_ = false;
  std::size_t droppedFrames_ = 0, droppedElements_ = 0, droppedTexts_ = 0;
};

}  // namespace

SessionPtr ReadSnapshot(std::string_view json, const SnapshotLimits& limits, std::string* error,
                        std::vector<std::string>* cuts) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  if (json.size() > limits.nMaxBytes) {
    why = "the snapshot has " + std::to_string(json.size()) + " bytes, more than the " +
          std::to_string(limits.nMaxBytes) + " allowed";
    return nullptr;
  }
  std::size_t values = 0;
  // Nesting and the number of values are checked while parsing, before the tree grows.
  auto check = [&](int depth, Json::parse_event_t event, Json&) {
    if (static_cast<std::size_t>(depth) > limits.nMaxNesting)
      throw Refusal("the snapshot nests deeper than " + std::to_string(limits.nMaxNesting) + " levels");
    if (event == Json::parse_event_t::value || event == Json::parse_event_t::object_start ||
        event == Json::parse_event_t::array_start) {
      if (++values > limits.nMaxValues)
        throw Refusal("the snapshot has more than " + std::to_string(limits.nMaxValues) + " values");
    }
    return true;
  };
  std::vector<std::string> localCuts;
  try {
    Json top = Json::parse(json.begin(), json.end(), check);
    auto session = std::make_shared<Session>();
    Reader(limits, *session, localCuts).ReadTop(top);
    if (cuts) cuts->insert(cuts->end(), localCuts.begin(), localCuts.end());
    return session;
  } catch (const Refusal& e) {
    why = e.what();
  } catch (const Json::parse_error& e) {
    // The library's text quotes the input, which may not be valid text.
    why = "the snapshot is not valid JSON (at byte " + std::to_string(e.byte) + ")";
  } catch (const Json::exception& e) {
    why = "the snapshot cannot be read (JSON error " + std::to_string(e.id) + ")";
  } catch (const std::bad_alloc&) {
    why = "the snapshot does not fit in memory";
  }
  return nullptr;
}

ComPtr<IWebBrowser2> BrowserOf(const SessionPtr& session) {
  if (!session || session->pages.empty()) return nullptr;
  return GetBrowser(session, -1, -1);
}

}  // namespace trovex::pagemodel

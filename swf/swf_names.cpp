#include "swf/swf_names.h"

#include <algorithm>
#include <deque>
#include <set>

#include "platform/inet/url_resolve.h"
#include "platform/text/ascii.h"

namespace trovex::swf {

const std::vector<std::string_view>& FileExtensions() {
  // What the player loads at run time: movies and their shared libraries, data, sound, video,
  // images, style sheets and shaders. Pages (html, php...) are navigation, not parts of a movie.
  static const std::vector<std::string_view> extensions = {
      "swf", "swz", "xml", "txt", "json", "csv", "css", "mp3", "wav", "aac", "m4a", "flv", "f4v",
      "mp4", "m4v", "mov", "3gp", "jpg", "jpeg", "png", "gif", "pbj"};
  return extensions;
}

bool LooksLikeFileAddress(std::string_view text) {
  if (text.empty() || text.size() > 2048) return false;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>') return false;
  }
  const std::string scheme = UrlScheme(text);
  if (!scheme.empty() && scheme != "http" && scheme != "https") return false;
  const std::string_view path = text.substr(0, text.find_first_of("?#"));
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  const std::string_view extension = name.substr(dot + 1);
  const auto& known = FileExtensions();
  return std::any_of(known.begin(), known.end(), [&](std::string_view e) { return AsciiEqualsNoCase(extension, e); });
}

namespace {

// Bounds-checked reading of a tag body; every read past the end fails and stays failed.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool ok() const { return ok_; }
  std::size_t pos() const { return pos_; }
  std::size_t left() const { return ok_ ? bytes_.size() - pos_ : 0; }
  std::string_view Rest() const { return ok_ ? bytes_.substr(pos_) : std::string_view(); }

  unsigned U8() { return Need(1) ? static_cast<unsigned char>(bytes_[pos_++]) : 0; }
  unsigned U16() {
    const unsigned lo = U8();
    return lo | (U8() << 8);
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  void Skip(std::size_t n) {
    if (Need(n)) pos_ += n;
  }
  std::string_view Take(std::size_t n) {
    if (!Need(n)) return {};
    std::string_view s = bytes_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  // A NUL-terminated string.
  std::string_view CString() {
    const std::size_t end = ok_ ? bytes_.find('\0', pos_) : std::string_view::npos;
    if (end == std::string_view::npos) {
      ok_ = false;
      return {};
    }
    std::string_view s = bytes_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return s;
  }
  // ABC's variable-length unsigned integer (up to 5 bytes, 7 bits each).
  std::uint32_t U30() {
    std::uint32_t v = 0;
    for (int i = 0; i < 5; ++i) {
      const unsigned b = U8();
      v |= (b & 0x7F) << (7 * i);
      if (!(b & 0x80)) break;
    }
    return v;
  }
  // Skips bit-packed fields: MATRIX or CXFORM, which end on a byte boundary.
  void SkipMatrix() {
    BitReader bits(*this);
    for (int part = 0; part < 2; ++part)
      if (bits.Get(1)) bits.Get(2 * bits.Get(5));  // scale, then rotate
    bits.Get(2 * bits.Get(5));                     // translate
  }
  void SkipColorTransform(bool alpha) {
    BitReader bits(*this);
    const unsigned add = bits.Get(1), mult = bits.Get(1), n = bits.Get(4);
    bits.Get((add + mult) * (alpha ? 4 : 3) * n);
  }

 private:
  class BitReader {
   public:
    explicit BitReader(Cursor& c) : c_(c) {}
    // Reads `n` bits (any count) and returns the low 32 of them.
    std::uint32_t Get(unsigned n) {
      std::uint32_t v = 0;
      for (unsigned i = 0; i < n && c_.ok(); ++i) {
        if (left_ == 0) {
          byte_ = c_.U8();
          left_ = 8;
        }
        v = (v << 1) | ((byte_ >> --left_) & 1);
      }
      return v;
    }

   private:
    Cursor& c_;
    unsigned byte_ = 0, left_ = 0;
  };

  bool Need(std::size_t n) {
    if (ok_ && bytes_.size() - pos_ >= n) return true;
    ok_ = false;
    return false;
  }
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

enum ActionCode : unsigned {
  kActionEnd = 0x00,
  kActionConstantPool = 0x88,
  kActionPush = 0x96,
  kActionGetUrl = 0x83,
  kActionGetUrl2 = 0x9A,
};

void Add(std::string_view text, Origin origin, std::vector<Candidate>* out) {
  if (!text.empty()) out->push_back({std::string(text), origin});
}

// A button's or clip event's actions run to an ActionEnd; the stream as a whole has the same form.
void WalkActions(Cursor& c, std::vector<Candidate>* out) {
  std::vector<std::string_view> pool;
  // The last two strings pushed, for GetURL2 (address below target on the stack).
  std::string_view below, top;
  while (c.ok() && c.left() > 0) {
    const unsigned code = c.U8();
    if (code == kActionEnd) return;
    if (code < 0x80) {
      below = top = {};
      continue;
    }
    const unsigned length = c.U16();
    Cursor record(c.Take(length));
    if (!c.ok()) return;
    switch (code) {
      case kActionGetUrl: {
        Add(record.CString(), Origin::kAction, out);
        Add(record.CString(), Origin::kAction, out);
        break;
      }
      case kActionGetUrl2:
        Add(below, Origin::kAction, out);
        break;
      case kActionConstantPool: {
        pool.clear();
        for (unsigned n = record.U16(); n > 0 && record.ok(); --n) {
          pool.push_back(record.CString());
          if (record.ok()) Add(pool.back(), Origin::kAction, out);
        }
        break;
      }
      case kActionPush:
        while (record.ok() && record.left() > 0) {
          std::string_view pushed;
          bool isString = true;
          switch (record.U8()) {
            case 0: pushed = record.CString(); break;
            case 8: { const unsigned i = record.U8(); pushed = i < pool.size() ? pool[i] : ""; break; }
            case 9: { const unsigned i = record.U16(); pushed = i < pool.size() ? pool[i] : ""; break; }
            case 1: case 7: record.Skip(4); isString = false; break;
            case 4: case 5: record.Skip(1); isString = false; break;
            case 6: record.Skip(8); isString = false; break;
            case 2: case 3: isString = false; break;
            default: record.Skip(record.left() + 1); isString = false; break;  // unknown type ends it
          }
          if (!record.ok()) break;
          if (isString) Add(pushed, Origin::kAction, out);
          below = top;
          top = isString ? pushed : std::string_view();
        }
        continue;  // the stack already moved
      default:
        break;
    }
    below = top = {};
  }
}

// CLIPACTIONS of PlaceObject2/3: each event's record size bounds its actions.
void WalkClipActions(Cursor& c, int version, std::vector<Candidate>* out) {
  const bool wide = version >= 6;
  c.U16();                                       // reserved
  if (wide) c.U32(); else c.U16();               // all events
  constexpr std::uint32_t kKeyPress = 0x00020000;
  while (c.ok()) {
    const std::uint32_t events = wide ? c.U32() : c.U16();
    if (events == 0 || !c.ok()) return;
    Cursor record(c.Take(c.U32()));
    if (!c.ok()) return;
    if (wide && (events & kKeyPress)) record.U8();  // key code
    WalkActions(record, out);
  }
}

void SkipFilters(Cursor& c) {
  for (unsigned n = c.U8(); n > 0 && c.ok(); --n) {
    switch (c.U8()) {
      case 0: c.Skip(23); break;   // drop shadow
      case 1: c.Skip(9); break;    // blur
      case 2: c.Skip(15); break;   // glow
      case 3: c.Skip(27); break;   // bevel
      case 4: case 7: c.Skip(c.U8() * 5u + 19); break;  // gradient glow / bevel
      case 5: { const unsigned x = c.U8(), y = c.U8(); c.Skip(8 + 4u * x * y + 5); break; }  // convolution
      case 6: c.Skip(80); break;   // colour matrix
      default: c.Skip(c.left() + 1); break;
    }
  }
}

void WalkPlaceObject(Cursor& c, bool third, int version, std::vector<Candidate>* out) {
  const unsigned flags = c.U8();
  const unsigned flags2 = third ? c.U8() : 0;
  if (!(flags & 0x80)) return;  // no clip actions
  c.U16();                      // depth
  if (third && ((flags2 & 0x08) || ((flags2 & 0x10) && (flags & 0x02)))) c.CString();  // class name
  if (flags & 0x02) c.U16();
  if (flags & 0x04) c.SkipMatrix();
  if (flags & 0x08) c.SkipColorTransform(true);
  if (flags & 0x10) c.U16();
  if (flags & 0x20) c.CString();
  if (flags & 0x40) c.U16();
  if (third) {
    if (flags2 & 0x01) SkipFilters(c);
    if (flags2 & 0x02) c.U8();
    if (flags2 & 0x04) c.U8();
    if (flags2 & 0x20) c.Skip(5);  // visible, background colour
  }
  if (c.ok()) WalkClipActions(c, version, out);
}

void WalkButton(Cursor& c, std::vector<Candidate>* out) {
  c.U16();  // id
  // Character records up to a zero byte, then one action stream.
  while (c.ok()) {
    if (c.U8() == 0) break;
    c.Skip(4);  // character, depth
    c.SkipMatrix();
  }
  WalkActions(c, out);
}

void WalkButton2(Cursor& c, std::vector<Candidate>* out) {
  c.U16();  // id
  c.U8();   // menu flag
  const std::size_t at = c.pos();
  const unsigned offset = c.U16();
  if (offset == 0 || !c.ok()) return;
  c.Skip(offset - (c.pos() - at));
  while (c.ok()) {
    const std::size_t start = c.pos();
    const unsigned size = c.U16();
    c.U16();  // conditions
    Cursor record(size == 0 ? c.Rest() : c.Take(size >= 4 ? size - 4 : 0));
    WalkActions(record, out);
    if (size == 0 || !c.ok() || c.pos() == start) return;
  }
}

void WalkAbc(Cursor& c, std::vector<Candidate>* out) {
  c.Skip(4);  // minor, major
  for (std::uint32_t n = c.U30(); n > 1 && c.ok(); --n) c.U30();  // ints
  for (std::uint32_t n = c.U30(); n > 1 && c.ok(); --n) c.U30();  // uints
  const std::uint32_t doubles = c.U30();
  if (doubles > 1) c.Skip((doubles - 1) * std::size_t{8});
  for (std::uint32_t n = c.U30(); n > 1 && c.ok(); --n) {
    std::string_view s = c.Take(c.U30());
    if (c.ok()) Add(s, Origin::kAbc, out);
  }
}

// Sprites hold control tags of their own, in the movie's tag format.
void WalkSprite(Cursor& c, int version, std::vector<Candidate>* out) {
  c.Skip(4);  // id, frame count
  while (c.ok() && c.left() >= 2) {
    const unsigned head = c.U16();
    std::uint32_t length = head & 0x3F;
    if (length == 0x3F) length = c.U32();
    const auto code = static_cast<std::uint16_t>(head >> 6);
    std::string_view body = c.Take(length);
    if (!c.ok() || code == kTagEnd) return;
    if (code != kTagDefineSprite && WantsTag(code)) CollectTagStrings(code, body, version, out);
  }
}

}  // namespace

void CollectActionStrings(std::string_view actions, std::vector<Candidate>* out) {
  Cursor c(actions);
  WalkActions(c, out);
}

void CollectAbcStrings(std::string_view abc, std::vector<Candidate>* out) {
  Cursor c(abc);
  WalkAbc(c, out);
}

bool WantsTag(std::uint16_t code) {
  switch (code) {
    case kTagDoAction: case kTagDoInitAction: case kTagDefineButton: case kTagDefineButton2:
    case kTagPlaceObject2: case kTagPlaceObject3: case kTagDoAbc: case kTagDoAbcPlain: case kTagDefineSprite:
      return true;
    default:
      return false;
  }
}

void CollectTagStrings(std::uint16_t code, std::string_view body, int version, std::vector<Candidate>* out) {
  Cursor c(body);
  switch (code) {
    case kTagDoAction: WalkActions(c, out); break;
    case kTagDoInitAction: c.U16(); WalkActions(c, out); break;
    case kTagDefineButton: WalkButton(c, out); break;
    case kTagDefineButton2: WalkButton2(c, out); break;
    case kTagPlaceObject2: WalkPlaceObject(c, false, version, out); break;
    case kTagPlaceObject3: WalkPlaceObject(c, true, version, out); break;
    case kTagDoAbc: c.U32(); c.CString(); WalkAbc(c, out); break;
    case kTagDoAbcPlain: WalkAbc(c, out); break;
    case kTagDefineSprite: WalkSprite(c, version, out); break;
    default: break;
  }
}

std::vector<std::string> FlashVarValues(std::string_view flashVars) {
  std::vector<std::string> values;
  while (!flashVars.empty()) {
    const std::size_t amp = flashVars.find('&');
    const std::string_view pair = flashVars.substr(0, amp);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos) values.push_back(PercentDecode(pair.substr(eq + 1), EscapedNul::kKeep));
    if (amp == std::string_view::npos) break;
    flashVars.remove_prefix(amp + 1);
  }
  return values;
}

std::string ResolutionBase(const std::string& movieAddress, const EmbedParams& params) {
  const std::string& page = params.pageAddress.empty() ? movieAddress : params.pageAddress;
  const std::string_view base = AsciiTrim(params.base);
  if (base.empty()) return page;
  // "." is the movie's own folder.
  if (base == ".") return movieAddress;
  std::string resolved = ResolveUrl(page, base);
  if (resolved.empty()) return page;
  // A base names a folder: "assets" means "assets/".
  const std::size_t end = std::min(resolved.find_first_of("?#"), resolved.size());
  if (resolved[end - 1] != '/') resolved = resolved.substr(0, end) + "/" + resolved.substr(end);
  return resolved;
}

namespace {

void Keep(const std::vector<Candidate>& candidates, const std::string& base, const std::string& self,
          std::set<std::string>* seen, std::vector<NamedFile>* files) {
  const bool localMovie = UrlScheme(self) == "file";
  for (const Candidate& candidate : candidates) {
    if (!LooksLikeFileAddress(candidate.text)) continue;
    std::string address = ResolveUrl(base, candidate.text);
    // Fragments never reach a server.
    if (const std::size_t hash = address.find('#'); hash != std::string::npos) address.resize(hash);
    // Local files only for a local movie: a page's base must not point a web movie at the disk.
    const std::string scheme = UrlScheme(address);
    if (scheme != "http" && scheme != "https" && (scheme != "file" || !localMovie)) continue;
    if (address == self || !seen->insert(address).second) continue;
    files->push_back({std::move(address), candidate.text, candidate.origin});
  }
}

}  // namespace

MovieNames FindNamedFiles(const ByteSource& source, const std::string& movieAddress, const EmbedParams& params,
                          const Limits& limits) {
  MovieNames names;
  std::vector<Candidate> candidates;
  // The player hands the movie its address's query as it hands it FlashVars.
  const std::size_t query = movieAddress.find('?');
  const std::string_view ownQuery =
      query == std::string::npos ? std::string_view() : std::string_view(movieAddress).substr(query + 1);
  for (std::string_view vars : {std::string_view(params.flashVars), ownQuery.substr(0, ownQuery.find('#'))})
    for (std::string& value : FlashVarValues(vars)) candidates.push_back({std::move(value), Origin::kFlashVars});
  ReadOptions options;
  options.limits = limits;
  options.wantBody = WantsTag;
  options.onBody = [&](const MovieFacts& facts, const Tag& tag, std::string_view body) {
    CollectTagStrings(tag.code, body, facts.version, &candidates);
  };
  names.facts = ReadMovie(source, options);
  std::set<std::string> seen;
  Keep(candidates, ResolutionBase(movieAddress, params), movieAddress, &seen, &names.files);
  return names;
}

namespace {

bool IsMovie(const std::string& address) {
  const std::string_view path = std::string_view(address).substr(0, address.find_first_of("?#"));
  return path.size() > 4 && AsciiEqualsNoCase(path.substr(path.size() - 4), ".swf");
}

}  // namespace

NamesInTurn FindNamesInTurn(const std::string& movieAddress, const EmbedParams& params, const Fetch& fetch,
                            const TurnLimits& limits) {
  NamesInTurn result;
  std::set<std::string> listed = {movieAddress};
  struct Pending {
    std::string address;
    int depth;  // of the files it names
  };
  std::deque<Pending> queue = {{movieAddress, 1}};
  EmbedParams own = params;
  while (!queue.empty()) {
    Pending movie = std::move(queue.front());
    queue.pop_front();
    ByteSource source = fetch ? fetch(movie.address) : ByteSource();
    if (!source) {
      result.unreadable.push_back({movie.address, ReadError::kCannotRead});
      continue;
    }
    MovieNames names = FindNamedFiles(source, movie.address, own, limits.read);
    // FlashVars belong to the embedded movie only.
    own.flashVars.clear();
    if (!names.facts.ok()) result.unreadable.push_back({movie.address, names.facts.error});
    for (NamedFile& file : names.files) {
      if (!listed.insert(file.address).second) continue;
      if (result.files.size() >= limits.maxFiles) {
        result.truncated = true;
        return result;
      }
      if (movie.depth < limits.maxDepth && IsMovie(file.address)) queue.push_back({file.address, movie.depth + 1});
      result.files.push_back({std::move(file.address), movie.address, movie.depth});
    }
  }
  return result;
}

}  // namespace trovex::swf

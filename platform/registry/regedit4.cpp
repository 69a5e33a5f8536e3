#include "platform/registry/regedit4.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

namespace trovex::reg {

namespace {

constexpr std::size_t kMaxKeyNameBytes = 255;

// What a file holds for a name or string: UTF-8, or else (a file from before hives were UTF-8)
// the writer's code page, taken to be ours; bytes that are text in neither stay as they are.
std::string FromFileText(std::string text) {
  std::string utf8;
  if (!IsUtf8(text) && TryAnsiToUtf8(text, &utf8)) return utf8;
  return text;
}

// Case folding that does not depend on the process's locale.
locale_t FoldingLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

// Splits the key path of a file's key line: UTF-8 characters are taken whole, and bytes that
// are no UTF-8 (a file from before hives were UTF-8) as characters of the thread's code page,
// so a trail byte 0x5C there is no separator. The same bytes split the same way in whatever
// line they stand. Each name is then read with FromFileText.
bool SplitFileKeyPath(std::string_view path, std::vector<std::string>* names);

bool HasLineBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

void AppendQuoted(std::string& out, std::string_view bytes) {
  out += '"';
  for (char c : bytes) {
    // Byte-wise on purpose: a double-byte character with a 0x5C trail byte gets that byte
    // doubled, and the reader undoes it byte-wise, so the text survives in any code page.
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

bool IsPlainString(const RegValue& v) {
  if (v.nType != REG_SZ || v.data.empty() || v.data.back() != '\0') return false;
  std::string_view body(v.data.data(), v.data.size() - 1);
  return body.find('\0') == std::string_view::npos && !HasLineBreak(body);
}

void AppendValue(std::string& out, const RegValue& v) {
  if (v.strName.empty())
    out += '@';
  else
    AppendQuoted(out, v.strName);
  out += '=';
  if (IsPlainString(v)) {
    AppendQuoted(out, std::string_view(v.data.data(), v.data.size() - 1));
  } else if (v.nType == REG_DWORD && v.data.size() == 4) {
    DWORD n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[32];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
  } else {
    char buf[32];
    if (v.nType == REG_BINARY)
      std::snprintf(buf, sizeof buf, "hex:");
    else
      std::snprintf(buf, sizeof buf, "hex(%x):", v.nType);
    out += buf;
    for (std::size_t i = 0; i < v.data.size(); ++i) {
      std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", static_cast<unsigned char>(v.data[i]));
      out += buf;
    }
  }
  out += '\n';
}

// `path` is the key's path, extended and restored for each sub-key rather than copied.
void AppendKey(std::string& out, const RegKey& key, std::string& path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    for (const RegValue& v : key.values) AppendValue(out, v);
    out += '\n';
  }
  for (const RegKey& sub : key.subkeys) {
    std::size_t length = path.size();
    path += '\\';
    path += sub.strName;
    AppendKey(out, sub, path, false);
    path.resize(length);
  }
}

// --- parsing ---

struct Cursor {
  std::string_view s;
  std::size_t pos = 0;
  bool AtEnd() const { return pos >= s.size(); }
  bool Eat(std::string_view lit) {
    if (s.substr(pos, lit.size()) != lit) return false;
    pos += lit.size();
    return true;
  }
  bool EatNoCase(std::string_view lit) {
    if (!AsciiStartsWithNoCase(s.substr(pos), lit)) return false;
    pos += lit.size();
    return true;
  }
};

bool ParseQuoted(Cursor& c, std::string* out) {
  if (!c.Eat("\"")) return false;
  out->clear();
  while (!c.AtEnd()) {
    char ch = c.s[c.pos++];
    if (ch == '"') return true;
    if (ch == '\\') {
      if (c.AtEnd()) return false;
      char next = c.s[c.pos++];
      if (next != '\\' && next != '"') return false;
      ch = next;
    }
    *out += ch;
  }
  return false;  // no closing quote
}

bool ParseHexBytes(std::string_view text, std::string* out) {
  out->clear();
  std::size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skipSpace();
  if (i == text.size()) return true;
  for (;;) {
    skipSpace();
    if (i + 2 > text.size()) return false;
    int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
    skipSpace();
    if (i == text.size()) return true;
    if (text[i] != ',') return false;
    ++i;
  }
}

bool ParseData(std::string_view text, RegValue* v) {
  Cursor c{text};
  if (c.s.substr(0, 1) == "\"") {
    std::string s;
    if (!ParseQuoted(c, &s) || !c.AtEnd()) return false;
    v->nType = REG_SZ;
    v->data = FromFileText(std::move(s)) + '\0';
    return true;
  }
  if (c.EatNoCase("dword:")) {
    std::string_view digits = c.s.substr(c.pos);
    std::uint32_t n = 0;
    if (digits.size() != 8 || !ParseHexUint32(digits, &n)) return false;
    v->nType = REG_DWORD;
    v->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) v->data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return true;
  }
  if (c.EatNoCase("hex(")) {
    std::size_t close = c.s.find("):", c.pos);
    if (close == std::string_view::npos || close == c.pos || close - c.pos > 8) return false;
    std::uint32_t type = 0;
    if (!ParseHexUint32(c.s.substr(c.pos, close - c.pos), &type)) return false;
    v->nType = type;
    return ParseHexBytes(c.s.substr(close + 2), &v->data);
  }
  if (c.EatNoCase("hex:")) {
    v->nType = REG_BINARY;
    return ParseHexBytes(c.s.substr(c.pos), &v->data);
  }
  return false;
}

void SetValue(RegKey& key, RegValue v) {
  RegValue& target = key.ValueOrAdd(v.strName);
  target.nType = v.nType;
  target.data = std::move(v.data);
}

}  // namespace

std::string FoldRegName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  locale_t loc = FoldingLocale();
  for (std::size_t i = 0; i < name.size();) {
    auto byte = static_cast<unsigned char>(name[i]);
    if (byte < 0x80) {
      out += AsciiUpper(static_cast<char>(byte));
      ++i;
      continue;
    }
    char32_t cp;
    std::size_t len = DecodeUtf8(name, i, &cp);
    if (len == 0) {
      out += static_cast<char>(byte);  // no UTF-8: the byte as it is
      ++i;
      continue;
    }
    if (loc) cp = static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), loc));
    AppendUtf8(out, cp);
    i += len;
  }
  return out;
}

bool RegNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin())) return true;
  return FoldRegName(a) == FoldRegName(b);
}

void NameIndex::Added(std::string_view name, std::size_t position, std::size_t newSize) {
  if (indexed_ + 1 != newSize) {
    indexed_ = static_cast<std::size_t>(-1);  // out of step: rebuilt at the next look-up
    return;
  }
  positions_.try_emplace(FoldRegName(name), position);
  indexed_ = newSize;
}

RegKey* RegKey::FindSubkey(std::string_view name) {
  std::size_t i = subkeyIndex.Find(subkeys, name);
  return i < subkeys.size() ? &subkeys[i] : nullptr;
}
const RegKey* RegKey::FindSubkey(std::string_view name) const {
  std::size_t i = subkeyIndex.Find(subkeys, name);
  return i < subkeys.size() ? &subkeys[i] : nullptr;
}
RegValue* RegKey::FindValue(std::string_view name) {
  std::size_t i = valueIndex.Find(values, name);
  return i < values.size() ? &values[i] : nullptr;
}
const RegValue* RegKey::FindValue(std::string_view name) const {
  std::size_t i = valueIndex.Find(values, name);
  return i < values.size() ? &values[i] : nullptr;
}

RegKey& RegKey::SubkeyOrAdd(std::string_view name) {
  if (RegKey* k = FindSubkey(name)) return *k;
  subkeys.push_back(RegKey{std::string(name), {}, {}});
  subkeyIndex.Added(name, subkeys.size() - 1, subkeys.size());
  return subkeys.back();
}

RegValue& RegKey::ValueOrAdd(std::string_view name) {
  if (RegValue* v = FindValue(name)) return *v;
  values.push_back(RegValue{std::string(name), REG_NONE, {}});
  valueIndex.Added(name, values.size() - 1, values.size());
  return values.back();
}

bool RegKey::RemoveSubkey(std::string_view name) {
  std::size_t i = subkeyIndex.Find(subkeys, name);
  if (i >= subkeys.size()) return false;
  subkeys.erase(subkeys.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

bool RegKey::RemoveValue(std::string_view name) {
  std::size_t i = valueIndex.Find(values, name);
  if (i >= values.size()) return false;
  values.erase(values.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

RegKey* RegKey::Find(const std::vector<std::string>& path) {
  RegKey* k = this;
  for (const std::string& name : path)
    if (!(k = k->FindSubkey(name))) return nullptr;
  return k;
}
const RegKey* RegKey::Find(const std::vector<std::string>& path) const {
  return const_cast<RegKey*>(this)->Find(path);
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t sep = MbFind(path, '\\', start);
    std::size_t end = sep == std::string::npos ? path.size() : sep;
    std::string_view name = path.substr(start, end - start);
    if (name.empty() || name.size() > kMaxKeyNameBytes || HasLineBreak(name)) return false;
    if (names->size() == kMaxKeyDepth) return false;
    names->emplace_back(name);
    if (sep == std::string::npos) break;
    start = sep + 1;  // a separator as the last byte ends the loop: one trailing "\" is fine
  }
  return true;
}

namespace {

// A name read from a file may be longer in bytes than the caller's text it came from, once
// taken to UTF-8; the limit there is on what any caller could have written.
constexpr std::size_t kMaxFileNameBytes = 3 * kMaxKeyNameBytes;

bool SplitFileKeyPath(std::string_view path, std::vector<std::string>* names) {
  names->clear();
  std::size_t start = 0;
  auto take = [&](std::size_t end) {
    std::string_view name = path.substr(start, end - start);
    if (name.empty() || name.size() > kMaxFileNameBytes || HasLineBreak(name)) return false;
    if (names->size() == kMaxKeyDepth) return false;
    // Read another way than it was split (a "\" in the text it gives): kept as its bytes.
    std::string text = FromFileText(std::string(name));
    names->push_back(text.find('\\') == std::string::npos ? std::move(text) : std::string(name));
    return true;
  };
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == '\\') {
      if (!take(i)) return false;
      start = ++i;
      continue;
    }
    char32_t cp;
    std::size_t len = static_cast<unsigned char>(path[i]) < 0x80 ? 1 : DecodeUtf8(path, i, &cp);
    if (len == 0) len = MbCharLen(path, i);
    i += std::max<std::size_t>(len, 1);
  }
  // One trailing "\" is fine: the last separator then ends the path.
  return start == path.size() ? !names->empty() : take(path.size());
}

// Appends to `out` per NUL-separated piece; false when a piece does not convert.
template <typename Convert>
bool ConvertPieces(std::string_view data, std::string* out, Convert convert) {
  out->clear();
  std::size_t start = 0;
  while (start <= data.size()) {
    std::size_t nul = data.find('\0', start);
    std::size_t end = nul == std::string_view::npos ? data.size() : nul;
    std::string piece;
    if (!convert(data.substr(start, end - start), &piece)) return false;
    *out += piece;
    if (nul == std::string_view::npos) break;
    *out += '\0';
    start = nul + 1;
  }
  return true;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool Utf8ToAnsiStrict(std::string_view utf8, std::string* ansi) {
  if (CodePageKeepsUtf8() || std::all_of(utf8.begin(), utf8.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
      })) {
    *ansi = utf8;
    return true;
  }
  if (!IsUtf8(utf8)) return false;
  *ansi = Utf16ToAnsi(Utf8ToUtf16(utf8));
  return true;
}

}  // namespace

bool NameToUtf8(std::string_view ansi, std::string* utf8) { return TryAnsiToUtf8(ansi, utf8); }

std::string NameToAnsi(std::string_view utf8) {
  std::string ansi;
  return Utf8ToAnsiStrict(utf8, &ansi) ? ansi : std::string(utf8);
}

std::string DataToUtf8(DWORD type, std::string_view ansi) {
  std::string out;
  if (IsStringType(type) && ConvertPieces(ansi, &out, TryAnsiToUtf8)) return out;
  return std::string(ansi);
}

std::string DataToAnsi(DWORD type, std::string_view utf8) {
  std::string out;
  if (IsStringType(type) && ConvertPieces(utf8, &out, Utf8ToAnsiStrict)) return out;
  return std::string(utf8);
}

std::string SerializeRegedit4(const RegKey& root, std::string_view rootName) {
  std::string out = "REGEDIT4\n\n";
  std::string path(rootName);
  AppendKey(out, root, path, true);
  return out;
}

bool ParseRegedit4(std::string_view text, std::string_view rootName, RegKey* root,
                   std::string* error) {
  RegKey result;
  RegKey* current = nullptr;
  std::size_t lineNo = 0;
  bool sawHeader = false;
  auto fail = [&](const char* why) {
    if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
    return false;
  };
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string line(text.substr(pos, end - pos));
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A hex list may go on over several lines, each but the last ending in "\".
    while (line.size() >= 2 && line.back() == '\\' && line[line.size() - 2] == ',' &&
           line.find("=hex") != std::string::npos && pos < text.size()) {
      std::size_t nl2 = text.find('\n', pos);
      std::size_t end2 = nl2 == std::string_view::npos ? text.size() : nl2;
      std::string_view more = text.substr(pos, end2 - pos);
      pos = nl2 == std::string_view::npos ? text.size() : nl2 + 1;
      ++lineNo;
      if (!more.empty() && more.back() == '\r') more.remove_suffix(1);
      line.pop_back();
      line += more;
    }
    if (!sawHeader) {
      if (line != "REGEDIT4") return fail("missing REGEDIT4 header");
      sawHeader = true;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("unterminated key line");
      std::string_view inner(line.data() + 1, line.size() - 2);
      if (inner.substr(0, rootName.size()) != rootName) return fail("key outside this hive");
      inner.remove_prefix(rootName.size());
      std::vector<std::string> names;
      if (!inner.empty()) {
        if (inner[0] != '\\' || inner.size() == 1)
          return fail("bad key path");
        if (!SplitFileKeyPath(inner.substr(1), &names))
          return fail(names.size() >= kMaxKeyDepth ? "key nested too deep" : "bad key path");
      }
      current = &result;
      for (const std::string& name : names) current = &current->SubkeyOrAdd(name);
      continue;
    }
    if (!current) return fail("value before any key");
    RegValue v;
    Cursor c{line};
    if (c.Eat("@")) {
      v.strName.clear();
    } else if (!ParseQuoted(c, &v.strName)) {
      return fail("bad value name");
    }
    v.strName = FromFileText(std::move(v.strName));
    if (!c.Eat("=")) return fail("missing '='");
    if (!ParseData(std::string_view(line).substr(c.pos), &v)) return fail("bad value data");
    SetValue(*current, std::move(v));
  }
  if (!sawHeader) return fail("empty file");
  *root = std::move(result);
  return true;
}

}  // namespace trovex::reg

#include "platform/registry/regedit4.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/text/text.h"

namespace trovex::reg {

namespace {

constexpr std::size_t kMaxKeyNameBytes = 255;

template <typename T>
auto FindByName(T& items, std::string_view name) {
  return std::find_if(items.begin(), items.end(),
                      [&](const auto& item) { return RegNamesEqual(item.strName, name); });
}

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

void AppendKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    for (const RegValue& v : key.values) AppendValue(out, v);
    out += '\n';
  }
  for (const RegKey& sub : key.subkeys) AppendKey(out, sub, path + "\\" + sub.strName, false);
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
    if (s.size() - pos < lit.size()) return false;
    for (std::size_t i = 0; i < lit.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(s[pos + i])) != lit[i]) return false;
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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
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
    v->data = s + '\0';
    return true;
  }
  if (c.EatNoCase("dword:")) {
    std::string_view digits = c.s.substr(c.pos);
    if (digits.size() != 8) return false;
    DWORD n = 0;
    for (char d : digits) {
      int h = HexDigit(d);
      if (h < 0) return false;
      n = n * 16 + static_cast<DWORD>(h);
    }
    v->nType = REG_DWORD;
    v->data.assign(4, '\0');
    for (int i = 0; i < 4; ++i) v->data[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return true;
  }
  if (c.EatNoCase("hex(")) {
    std::size_t close = c.s.find("):", c.pos);
    if (close == std::string_view::npos || close == c.pos || close - c.pos > 8) return false;
    DWORD type = 0;
    for (std::size_t i = c.pos; i < close; ++i) {
      int h = HexDigit(c.s[i]);
      if (h < 0) return false;
      type = type * 16 + static_cast<DWORD>(h);
    }
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
  if (RegValue* old = key.FindValue(v.strName)) {
    old->nType = v.nType;
    old->data = std::move(v.data);
  } else {
    key.values.push_back(std::move(v));
  }
}

}  // namespace

bool RegNamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MbCompareNoCase(a, b) == 0;
}

RegKey* RegKey::FindSubkey(std::string_view name) {
  auto it = FindByName(subkeys, name);
  return it == subkeys.end() ? nullptr : &*it;
}
const RegKey* RegKey::FindSubkey(std::string_view name) const {
  auto it = FindByName(subkeys, name);
  return it == subkeys.end() ? nullptr : &*it;
}
RegValue* RegKey::FindValue(std::string_view name) {
  auto it = FindByName(values, name);
  return it == values.end() ? nullptr : &*it;
}
const RegValue* RegKey::FindValue(std::string_view name) const {
  auto it = FindByName(values, name);
  return it == values.end() ? nullptr : &*it;
}

RegKey& RegKey::SubkeyOrAdd(std::string_view name) {
  if (RegKey* k = FindSubkey(name)) return *k;
  subkeys.push_back(RegKey{std::string(name), {}, {}});
  return subkeys.back();
}

bool RegKey::RemoveSubkey(std::string_view name) {
  auto it = FindByName(subkeys, name);
  if (it == subkeys.end()) return false;
  subkeys.erase(it);
  return true;
}

bool RegKey::RemoveValue(std::string_view name) {
  auto it = FindByName(values, name);
  if (it == values.end()) return false;
  values.erase(it);
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
    names->emplace_back(name);
    if (sep == std::string::npos) break;
    start = sep + 1;  // a separator as the last byte ends the loop: one trailing "\" is fine
  }
  return true;
}

std::string SerializeRegedit4(const RegKey& root, std::string_view rootName) {
  std::string out = "REGEDIT4\n\n";
  AppendKey(out, root, std::string(rootName), true);
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
        if (!SplitKeyPath(inner.substr(1), &names)) return fail("bad key path");
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
    if (!c.Eat("=")) return fail("missing '='");
    if (!ParseData(std::string_view(line).substr(c.pos), &v)) return fail("bad value data");
    SetValue(*current, std::move(v));
  }
  if (!sawHeader) return fail("empty file");
  *root = std::move(result);
  return true;
}

}  // namespace trovex::reg

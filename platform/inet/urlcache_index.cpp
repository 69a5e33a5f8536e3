#include "platform/inet/urlcache_index.h"

#include <algorithm>

#include "platform/inet/url_parse.h"
#include "platform/inet/urlcache_names.h"
#include "platform/text/ascii.h"

namespace trovex::urlcache {

namespace {

constexpr char kIndexHeader[] = "TROVEX-URLCACHE 1";

std::string EscapeField(std::string_view s) {
  return PercentEncode(s, [](unsigned char c) { return c == '%' || c == '\t' || c == '\n' || c == '\r'; });
}

std::string UnescapeField(std::string_view s) { return PercentDecode(s); }

// A file the index may name: one of our subfolders, then a plain file name.
bool IsValidLocal(std::string_view local) {
  std::size_t slash = local.find('/');
  if (slash == std::string::npos || !IsSubfolderName(local.substr(0, slash))) return false;
  std::string_view name = local.substr(slash + 1);
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// Reads the lines after the header into *index. When two snapshot entries share a key (an
// older index keyed differently) the first is kept and the other's file is named in *dropped,
// for a writer to remove; a change line replaces. A damaged line is dropped, and so is a line
// without its end. Returns the number of change lines taken.
std::size_t ParseLines(std::string_view data, Index* index, std::vector<std::string>* dropped) {
  std::size_t changes = 0;
  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t end = data.find('\n', pos);
    if (end == std::string::npos) break;
    std::string_view line = data.substr(pos, end - pos);
    pos = end + 1;
    std::size_t t1 = line.find('\t');
    std::size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos || line.find('\t', t2 + 1) != std::string::npos) continue;
    std::string key = AddressKey(UnescapeField(line.substr(t2 + 1)));
    if (key.empty()) continue;
    std::string_view sizeText = line.substr(0, t1);
    if (sizeText == "-" && t2 == t1 + 1) {
      index->Erase(key, nullptr);
      ++changes;
      continue;
    }
    bool change = !sizeText.empty() && sizeText[0] == '+';
    if (change) sizeText.remove_prefix(1);
    if (sizeText.empty() || sizeText.size() > 19) continue;
    std::uint64_t size = 0;
    bool digits = true;
    for (char c : sizeText) {
      if (c < '0' || c > '9') digits = false;
      size = size * 10 + static_cast<unsigned>(c - '0');
    }
    std::string local = UnescapeField(line.substr(t1 + 1, t2 - t1 - 1));
    if (!digits || !IsValidLocal(local)) continue;
    if (!change && index->Find(key)) {
      if (dropped) dropped->push_back(std::move(local));
      continue;
    }
    index->Put(key, std::move(local), size, nullptr);
    if (change) ++changes;
  }
  return changes;
}

}  // namespace

bool IsSubfolderName(std::string_view name) {
  if (name.size() != 8) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

std::string EntryLine(std::string_view key, const Entry* e, bool change) {
  std::string out = e ? (change ? "+" : "") + std::to_string(e->size) : "-";
  out += '\t';
  if (e) out += EscapeField(e->local);
  out += '\t';
  out += EscapeField(key);
  out += '\n';
  return out;
}

// An address stored with raw non-ASCII bytes is read in the current code page, the one it was
// written in unless the locale changed since.
bool ParseIndex(std::string_view data, Index* index, std::vector<std::string>* dropped,
                std::size_t* changes) {
  *changes = 0;
  std::size_t nl = data.find('\n');
  if (nl == std::string::npos || data.substr(0, nl) != kIndexHeader) return false;
  *changes = ParseLines(data.substr(nl + 1), index, dropped);
  // A file that a kept entry also names is not to be removed.
  std::erase_if(*dropped, [index](const std::string& local) { return index->Names(local); });
  return true;
}

std::string SerializeIndex(const Index& index) {
  std::vector<std::pair<std::uint64_t, const std::pair<const std::string, Entry>*>> order;
  order.reserve(index.entries().size());
  for (const auto& kv : index.entries()) order.emplace_back(kv.second.seq, &kv);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out = kIndexHeader;
  out += '\n';
  for (const auto& [seq, kv] : order) out += EntryLine(kv->first, &kv->second, false);
  return out;
}

}  // namespace trovex::urlcache

namespace trovex {

std::size_t inet_detail::ReadUrlCacheIndexText(std::string_view text, std::string* snapshot) {
  using namespace urlcache;
  Index index;
  std::vector<std::string> dropped;
  std::size_t changes = 0;
  ParseIndex(text, &index, &dropped, &changes);
  if (snapshot) *snapshot = SerializeIndex(index);
  return index.entries().size();
}

}  // namespace trovex

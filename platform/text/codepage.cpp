#include "platform/text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace trovex {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// This thread's open descriptors. Few pairs are ever used (the locale's code page both ways,
// the charsets of the pages read); the bound only keeps a stream of odd charsets from piling
// descriptors up.
class ConverterCache {
 public:
  ConverterCache() = default;
  ConverterCache(const ConverterCache&) = delete;
  ConverterCache& operator=(const ConverterCache&) = delete;
  ~ConverterCache() { Clear(); }

  // A descriptor in its initial state, or kNoConverter.
  iconv_t Get(const std::string& from, const std::string& to) {
    for (Entry& e : entries_) {
      if (e.from == from && e.to == to) {
        if (e.cd != kNoConverter) iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
        return e.cd;
      }
    }
    if (entries_.size() >= kMaxEntries) Clear();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    entries_.push_back(Entry{from, to, cd});
    return cd;
  }

 private:
  static constexpr std::size_t kMaxEntries = 16;
  struct Entry {
    std::string from, to;
    iconv_t cd;
  };
  void Clear() {
    for (Entry& e : entries_)
      if (e.cd != kNoConverter) iconv_close(e.cd);
    entries_.clear();
  }
  std::vector<Entry> entries_;
};

}  // namespace

bool ConvertCodePage(std::string_view in, const std::string& from, const std::string& to,
                     std::string& out, const CodePageFallback& onBad) {
  thread_local ConverterCache cache;
  iconv_t cd = cache.Get(from, to);
  if (cd == kNoConverter) return false;
  const std::size_t start = out.size();
  std::size_t pos = 0;
  char buf[16384];
  while (pos < in.size()) {
    char* src = const_cast<char*>(in.data() + pos);
    std::size_t srcLeft = in.size() - pos;
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    const int err = errno;
    out.append(buf, static_cast<std::size_t>(dst - buf));
    pos = in.size() - srcLeft;
    if (r != static_cast<std::size_t>(-1)) continue;
    if (err == E2BIG) continue;
    if (err != EILSEQ && err != EINVAL) {
      out.resize(start);
      return false;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const std::size_t skip = onBad(pos, err == EINVAL, out);
    pos += skip > 0 ? skip : 1;
  }
  // Flush any shift state.
  char* dst = buf;
  std::size_t dstLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buf, static_cast<std::size_t>(dst - buf));
  return true;
}

}  // namespace trovex

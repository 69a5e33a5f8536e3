// The browser's URL cache: files in a few subfolders of the cache folder, named
// "name[N].ext", and an index file "index" mapping address -> file and size.
//
// An address is keyed in one spelling whatever code page or escaping its caller used (see
// AddressKey), so the page loader, which stores the %-escaped UTF-8 address it fetched, and the
// scanner, which looks up the page's text in the locale's code page, meet on the same entry.
//
// Writers (the browser, possibly several processes) take an exclusive flock on "index.lock",
// read the index from disk, add the file, and replace the index atomically (temporary file,
// fsync, rename). Readers never lock: a rename is atomic, so they see either the old or the
// new index. The parsed index is kept per process and re-read only when the file changed.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/text.h"

namespace trovex {

namespace {

constexpr char kIndexHeader[] = "TROVEX-URLCACHE 1";
constexpr std::size_t kSubfolderCount = 4;
constexpr std::size_t kMaxNameBytes = 64;
constexpr std::size_t kMaxExtBytes = 16;
constexpr unsigned kMaxCounter = 100000;

struct Entry {
  std::string local;  // "SUBFOLDER/name[N].ext", relative to the cache folder
  std::uint64_t size = 0;
};
using Index = std::map<std::string, Entry>;

// ---- index file format: a header line, then "size TAB file TAB address" per entry, with
// "%", TAB, CR and LF of the texts written as %XX.

std::string EscapeField(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static const char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeField(std::string_view s) { return inet_detail::PercentDecode(s, false); }

bool IsSubfolderName(std::string_view name) {
  if (name.size() != 8) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// A file the index may name: one of our subfolders, then a plain file name.
bool IsValidLocal(std::string_view local) {
  std::size_t slash = local.find('/');
  if (slash == std::string::npos || !IsSubfolderName(local.substr(0, slash))) return false;
  std::string_view name = local.substr(slash + 1);
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::string AddressKey(std::string_view address);

// A damaged index reads as empty; a damaged line is dropped. Every stored address is keyed
// again, so entries written before keys took their present form are still found (an address
// stored with raw non-ASCII bytes is read in the current code page, the one it was written in
// unless the locale changed since). When two entries now share a key the first is kept and
// the other's file is named in *dropped, for a writer to remove.
Index ParseIndex(std::string_view data, std::vector<std::string>* dropped) {
  Index index;
  std::size_t nl = data.find('\n');
  if (nl == std::string::npos || data.substr(0, nl) != kIndexHeader) return index;
  std::size_t pos = nl + 1;
  while (pos < data.size()) {
    std::size_t end = data.find('\n', pos);
    if (end == std::string::npos) break;  // a line without its end is not trusted
    std::string_view line = data.substr(pos, end - pos);
    pos = end + 1;
    std::size_t t1 = line.find('\t');
    std::size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos || line.find('\t', t2 + 1) != std::string::npos) continue;
    std::string_view sizeText = line.substr(0, t1);
    if (sizeText.empty() || sizeText.size() > 19) continue;
    std::uint64_t size = 0;
    bool digits = true;
    for (char c : sizeText) {
      if (c < '0' || c > '9') digits = false;
      size = size * 10 + static_cast<unsigned>(c - '0');
    }
    if (!digits) continue;
    Entry e{UnescapeField(line.substr(t1 + 1, t2 - t1 - 1)), size};
    std::string url = UnescapeField(line.substr(t2 + 1));
    if (url.empty() || !IsValidLocal(e.local)) continue;
    bool added = index.try_emplace(AddressKey(url), std::move(e)).second;
    if (!added && dropped) dropped->push_back(std::move(e.local));
  }
  if (dropped) {
    // A file that a kept entry also names is not to be removed.
    std::erase_if(*dropped, [&index](const std::string& local) {
      return std::any_of(index.begin(), index.end(),
                         [&local](const auto& kv) { return kv.second.local == local; });
    });
  }
  return index;
}

std::string SerializeIndex(const Index& index) {
  std::string out = kIndexHeader;
  out += '\n';
  for (const auto& [url, e] : index) {
    out += std::to_string(e.size);
    out += '\t';
    out += EscapeField(e.local);
    out += '\t';
    out += EscapeField(url);
    out += '\n';
  }
  return out;
}

// ---- small POSIX helpers ----------------------------------------------------------------

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports whether the close succeeded (a deferred write error shows here).
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, std::string* out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    out->append(buf, static_cast<std::size_t>(n));
  }
}

bool MakeDirs(const std::string& path) {
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncDir(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

// ---- names ----------------------------------------------------------------------------

void AppendEscape(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

void AppendEscape(std::u16string& out, unsigned char c) {
  std::string text;
  AppendEscape(text, c);
  out.append(text.begin(), text.end());
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// Bytes of the well-formed UTF-8 character at `pos` (shortest form, no surrogate, at most
// U+10FFFF), its code point in *cp; 0 when the bytes there are not one.
std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t* cp) {
  auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(pos);
  std::size_t len;
  char32_t value, min;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, value = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, value = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, value = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (pos + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(pos + k) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(pos + k) & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return len;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Cuts `s` to at most `max` bytes without splitting a character.
void CutToBytes(std::string& s, std::size_t max) {
  if (s.size() <= max) return;
  std::size_t keep = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t next = MbNextChar(s, i);
    if (next > max) break;
    keep = next;
    i = next;
  }
  s.erase(keep);
}

// Characters a cache file name may not hold become "_"; trail bytes are left alone.
std::string SanitizeName(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = MbCharLen(text, i);
    if (len == 1) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      out += (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|[]", c)) ? '_' : text[i];
    } else {
      out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

// Name and extension of the key's last path segment (query and fragment removed), as text of
// the thread's code page: escapes are decoded for the name, UTF-8 becomes the locale's
// characters (those it lacks end as "_"), and a byte that is no UTF-8 stays "%XX".
void NameParts(std::string_view key, std::string* name, std::string* ext) {
  inet_detail::UrlParts parts;
  std::string_view path = key;
  if (inet_detail::SplitUrl(key, &parts) == ERROR_SUCCESS) {
    path = parts.path;
  } else {
    std::size_t cut = path.find_first_of("?#");  // keys are ASCII
    if (cut != std::string::npos) path = path.substr(0, cut);
  }
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) path.remove_prefix(slash + 1);
  std::string raw = inet_detail::PercentDecode(path, false);
  std::u16string wide;
  for (std::size_t i = 0; i < raw.size();) {
    char32_t cp;
    std::size_t len = DecodeUtf8(raw, i, &cp);
    if (len == 0) {
      AppendEscape(wide, static_cast<unsigned char>(raw[i]));
      ++i;
      continue;
    }
    AppendUtf16(wide, cp);
    i += len;
  }
  std::string segment = Utf16ToAnsi(wide);
  MbTrimLeft(segment, ".");
  std::size_t dot = MbReverseFind(segment, '.');
  if (dot != std::string::npos) {
    *ext = SanitizeName(std::string_view(segment).substr(dot + 1));
    segment.erase(dot);
  } else {
    ext->clear();
  }
  *name = SanitizeName(segment);
  MbTrimRight(*name, ".");
  CutToBytes(*name, kMaxNameBytes);
  CutToBytes(*ext, kMaxExtBytes);
  if (name->empty()) *name = "unnamed";
}

std::string CounterName(const std::string& name, const std::string& ext, unsigned n) {
  std::string file = name + "[" + std::to_string(n) + "]";
  if (!ext.empty()) file += "." + ext;
  return file;
}

// The canonical form of `url` (the address itself when it has none).
std::string CanonicalForm(const std::string& url) {
  DWORD saved = GetLastError();
  std::string canonical;
  DWORD len = static_cast<DWORD>(url.size()) + 64;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string buf(len, '\0');
    if (InternetCanonicalizeUrlA(url.c_str(), buf.data(), &len, ICU_NO_ENCODE)) {
      buf.resize(len);
      canonical = std::move(buf);
      break;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  SetLastError(saved);
  return canonical.empty() ? url : canonical;
}

// The key under which an address is stored and looked up: the address's text taken from the
// thread's code page to UTF-8, then every byte that may not stand in an address as it is (the
// non-ASCII bytes, controls, space, quote, angle brackets, backquote) %-escaped and the escapes
// of non-ASCII bytes written with upper-case digits. Raw and escaped spellings of the same
// bytes thus meet, and the key is plain ASCII whatever the locale. Escapes of the other ASCII
// characters are never touched: "%2F" is not "/", nor "%3F" "?", nor "%25" "%".
// A byte that is not text in the code page is taken as it is and escaped.
std::string AddressKey(std::string_view address) {
  std::string utf8;
  bool ascii = std::all_of(address.begin(), address.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::u16string wide;
  if (ascii) {
    utf8 = address;
  } else if (TryAnsiToUtf16(address, &wide)) {
    utf8 = Utf16ToUtf8(wide);
  } else {
    // Character by character, so that one stray byte keeps the rest readable.
    for (std::size_t i = 0; i < address.size();) {
      std::size_t len = MbCharLen(address, i);
      std::string_view ch = address.substr(i, len);
      if (len == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
        utf8 += ch;
      } else if (TryAnsiToUtf16(ch, &wide)) {
        utf8 += Utf16ToUtf8(wide);
      } else {
        for (char byte : ch) AppendEscape(utf8, static_cast<unsigned char>(byte));
      }
      i += len;
    }
  }

  std::string key;
  key.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == '%' && i + 2 < utf8.size()) {
      int hi = inet_detail::HexDigit(utf8[i + 1]), lo = inet_detail::HexDigit(utf8[i + 2]);
      if (hi >= 8 && lo >= 0) {
        AppendEscape(key, static_cast<unsigned char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    if (c >= 0x80 || c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '`')
      AppendEscape(key, c);
    else
      key += static_cast<char>(c);
  }
  return key;
}

std::string CacheKey(const std::string& url) { return AddressKey(CanonicalForm(url)); }

// ---- the per-process view of the index --------------------------------------------------

struct IndexStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  timespec mtime{}, ctime{};
  bool operator==(const IndexStamp& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

IndexStamp StampOf(const struct stat& st) {
  IndexStamp s;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  s.ctime = st.st_ctim;
  return s;
}

struct LoadedIndex {
  std::mutex mutex;
  std::string path;
  bool present = false;
  IndexStamp stamp;
  std::string codePage;  // keys of addresses stored with raw non-ASCII bytes depend on it
  Index index;
  std::size_t loads = 0;
};

LoadedIndex& Loaded() {
  static LoadedIndex loaded;
  return loaded;
}

// Reads the index from disk (missing or unreadable: empty); *dropped as for ParseIndex.
Index ReadIndexFile(const std::string& path, IndexStamp* stamp, bool* present,
                    std::vector<std::string>* dropped = nullptr) {
  *present = false;
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return {};
  struct stat st;
  std::string data;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || !ReadAll(fd.get(), &data)) return {};
  *present = true;
  if (stamp) *stamp = StampOf(st);
  return ParseIndex(data, dropped);
}

// Looks `key` up through the per-process copy, refreshing it when the file changed.
bool FindEntry(const std::string& root, const std::string& key, Entry* entry) {
  std::string path = root + "/index";
  LoadedIndex& li = Loaded();
  std::lock_guard<std::mutex> lock(li.mutex);
  struct stat st;
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists) {
    li.path = path;
    li.present = false;
    li.index.clear();
    return false;
  }
  std::string codePage = CurrentCodePage();
  if (li.path != path || !li.present || !(li.stamp == StampOf(st)) || li.codePage != codePage) {
    bool present;
    IndexStamp stamp;
    li.index = ReadIndexFile(path, &stamp, &present);
    li.path = path;
    li.present = present;
    li.stamp = stamp;
    li.codePage = codePage;
    ++li.loads;
  }
  auto it = li.index.find(key);
  if (it == li.index.end()) return false;
  *entry = it->second;
  return true;
}

// ---- writing ----------------------------------------------------------------------------

// Holds the cache's writer lock for its lifetime.
class WriterLock {
 public:
  explicit WriterLock(const std::string& root)
      : fd_(::open((root + "/index.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_.get() < 0) {
      err_ = errno;
      return;
    }
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        err_ = errno;
        return;
      }
    }
    locked_ = true;
  }
  ~WriterLock() {
    if (locked_) ::flock(fd_.get(), LOCK_UN);
  }
  bool ok() const { return locked_; }
  int error() const { return err_; }

 private:
  Fd fd_;
  bool locked_ = false;
  int err_ = 0;
};

// Replaces the index file atomically. Returns 0 or an errno.
int WriteIndexFile(const std::string& root, const Index& index) {
  std::string tmp = root + "/index.tmp";
  std::string data = SerializeIndex(index);
  Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno;
  if (!WriteAll(fd.get(), data.data(), data.size()) || ::fsync(fd.get()) != 0 || !fd.Close()) {
    int err = errno;
    ::unlink(tmp.c_str());
    return err ? err : EIO;
  }
  if (::rename(tmp.c_str(), (root + "/index").c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return err;
  }
  SyncDir(root);
  return 0;
}

// The cache's subfolders, created up to kSubfolderCount with random names.
bool EnsureSubfolders(const std::string& root, std::vector<std::string>* folders) {
  folders->clear();
  if (DIR* dir = ::opendir(root.c_str())) {
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      struct stat st;
      if (IsSubfolderName(name) && ::stat((root + "/" + name).c_str(), &st) == 0 &&
          S_ISDIR(st.st_mode))
        folders->push_back(name);
    }
    ::closedir(dir);
  }
  std::random_device rd;
  std::mt19937 gen(rd());
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::uniform_int_distribution<int> pick(0, 35);
  int attempts = 0;
  while (folders->size() < kSubfolderCount && attempts++ < 100) {
    std::string name;
    for (int i = 0; i < 8; ++i) name += kChars[pick(gen)];
    if (::mkdir((root + "/" + name).c_str(), 0700) == 0) folders->push_back(name);
    else if (errno != EEXIST) return false;
  }
  std::sort(folders->begin(), folders->end());
  return !folders->empty();
}

// Files of entries that the index written last no longer names.
void RemoveFiles(const std::string& root, const std::vector<std::string>& locals) {
  for (const std::string& local : locals) ::unlink((root + "/" + local).c_str());
}

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

bool FailErrno(int err) {
  SetLastErrorFromErrno(err);
  return false;
}

BOOL Failed(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL FailedErrno(int err) {
  SetLastErrorFromErrno(err);
  return FALSE;
}

}  // namespace

std::string UrlCacheDirectory() {
  std::string base;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw && pw->pw_dir ? pw->pw_dir : "/";
    }
    base = std::string(home) + "/.cache";
  }
  return base + "/kelvora-swf-trovex/urlcache";
}

bool AddUrlCacheEntry(const std::string& url, const void* data, std::size_t size,
                      std::string* localFile) {
  if (url.empty() || url.find('\0') != std::string::npos || (!data && size)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string root = UrlCacheDirectory();
  if (!MakeDirs(root)) return FailErrno(errno ? errno : ENOTDIR);
  WriterLock lock(root);
  if (!lock.ok()) return FailErrno(lock.error());

  std::vector<std::string> folders;
  if (!EnsureSubfolders(root, &folders)) return FailErrno(errno ? errno : EIO);

  bool present;
  std::vector<std::string> dropped;
  Index index = ReadIndexFile(root + "/index", nullptr, &present, &dropped);
  const std::string key = CacheKey(url);

  // The subfolder holding the fewest entries takes the new file.
  std::map<std::string, std::size_t> counts;
  for (const auto& f : folders) counts[f] = 0;
  for (const auto& [u, e] : index) {
    auto it = counts.find(e.local.substr(0, e.local.find('/')));
    if (it != counts.end()) ++it->second;
  }
  std::string folder = folders.front();
  for (const auto& f : folders)
    if (counts[f] < counts[folder]) folder = f;

  std::string name, ext;
  NameParts(key, &name, &ext);
  std::string relative, full;
  Fd out;
  for (unsigned n = 1; n <= kMaxCounter; ++n) {
    relative = folder + "/" + CounterName(name, ext, n);
    full = root + "/" + relative;
    int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      out.Reset(fd);
      break;
    }
    if (errno != EEXIST) return FailErrno(errno);
  }
  if (out.get() < 0) return Fail(ERROR_FILE_EXISTS);
  if (!WriteAll(out.get(), data, size) || ::fsync(out.get()) != 0 || !out.Close()) {
    int err = errno ? errno : EIO;
    ::unlink(full.c_str());
    return FailErrno(err);
  }
  SyncDir(root + "/" + folder);

  std::string old;
  auto it = index.find(key);
  if (it != index.end()) old = it->second.local;
  index[key] = Entry{relative, size};
  if (int err = WriteIndexFile(root, index)) {
    ::unlink(full.c_str());
    return FailErrno(err);
  }
  if (!old.empty() && old != relative) ::unlink((root + "/" + old).c_str());
  RemoveFiles(root, dropped);
  if (localFile) *localFile = full;
  return true;
}

BOOL DeleteUrlCacheEntryA(const char* url) {
  if (!url || !*url) return Failed(ERROR_INVALID_PARAMETER);
  const std::string root = UrlCacheDirectory();
  struct stat st;
  if (::stat(root.c_str(), &st) != 0) return Failed(ERROR_FILE_NOT_FOUND);
  WriterLock lock(root);
  if (!lock.ok()) return FailedErrno(lock.error());
  bool present;
  std::vector<std::string> dropped;
  Index index = ReadIndexFile(root + "/index", nullptr, &present, &dropped);
  auto it = index.find(CacheKey(url));
  if (it == index.end()) return Failed(ERROR_FILE_NOT_FOUND);
  std::string local = root + "/" + it->second.local;
  index.erase(it);
  if (int err = WriteIndexFile(root, index)) return FailedErrno(err);
  ::unlink(local.c_str());
  RemoveFiles(root, dropped);
  return TRUE;
}

BOOL GetUrlCacheEntryInfoA(const char* url, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
  if (!url || !*url || (info && !size)) return Failed(ERROR_INVALID_PARAMETER);
  const std::string root = UrlCacheDirectory();
  const std::string key = CacheKey(url);
  Entry entry;
  if (!FindEntry(root, key, &entry)) return Failed(ERROR_FILE_NOT_FOUND);
  // An entry whose file has gone (cleaned by hand) is no entry: nothing could be copied.
  std::string local = root + "/" + entry.local;
  struct stat st;
  if (::stat(local.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return Failed(ERROR_FILE_NOT_FOUND);
  if (!info && !size) return TRUE;

  std::string ext;
  std::size_t slash = entry.local.rfind('/');
  std::size_t dot = MbReverseFind(entry.local, '.');
  if (dot != std::string::npos && dot > slash) ext = entry.local.substr(dot + 1);
  std::size_t needed = sizeof(INTERNET_CACHE_ENTRY_INFOA) + key.size() + 1 + local.size() + 1 +
                       ext.size() + 1;
  if (needed > 0xFFFFFFFFu) return Failed(ERROR_NOT_ENOUGH_MEMORY);
  if (!info || *size < needed) {
    *size = static_cast<DWORD>(needed);
    return Failed(ERROR_INSUFFICIENT_BUFFER);
  }

  char* base = reinterpret_cast<char*>(info);
  std::memset(base, 0, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  char* p = base + sizeof(INTERNET_CACHE_ENTRY_INFOA);
  auto put = [&p](const std::string& s) {
    char* start = p;
    std::memcpy(p, s.c_str(), s.size() + 1);
    p += s.size() + 1;
    return start;
  };
  info->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  info->lpszSourceUrlName = put(key);
  info->lpszLocalFileName = put(local);
  info->lpszFileExtension = put(ext);
  info->CacheEntryType = NORMAL_CACHE_ENTRY;
  std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
  info->dwSizeLow = static_cast<DWORD>(fileSize & 0xFFFFFFFFu);
  info->dwSizeHigh = static_cast<DWORD>(fileSize >> 32);
  // 100-ns ticks since 1601-01-01.
  std::uint64_t ticks = (static_cast<std::uint64_t>(st.st_mtim.tv_sec) + 11644473600ull) * 10000000ull +
                        static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100;
  info->LastModifiedTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  info->LastSyncTime = info->LastModifiedTime;
  *size = static_cast<DWORD>(needed);
  return TRUE;
}

std::size_t UrlCacheIndexLoadCount() {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::mutex> lock(li.mutex);
  return li.loads;
}

}  // namespace trovex

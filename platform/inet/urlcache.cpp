// The browser's URL cache: files in a few subfolders of the cache folder, named
// "name[N].ext", and an index file "index" mapping address -> file and size.
//
// An address is keyed in one spelling whatever code page or escaping its caller used, and
// without its fragment (see AddressKey), so the page loader, which stores the %-escaped UTF-8
// address it fetched, and the scanner, which looks up the page's text in the locale's code
// page, meet on the same entry.
//
// Writers (the browser, possibly several processes) take an exclusive flock on "index.lock",
// read the index from disk, add the file, and replace the index atomically (temporary file,
// fsync, rename). Readers never lock: a rename is atomic, so they see either the old or the
// new index. The parsed index is kept per process and re-read only when the file changed.
#include <dirent.h>
#include <fcntl.h>
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

#include "platform/fs/posix_io.h"
#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

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
    if (c == '%' || c == '\t' || c == '\n' || c == '\r')
      inet_detail::AppendEscape(out, static_cast<unsigned char>(c));
    else
      out += c;
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
    std::string key = AddressKey(url);
    if (key.empty() || !IsValidLocal(e.local)) continue;
    bool added = index.try_emplace(std::move(key), std::move(e)).second;
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

// ---- names ----------------------------------------------------------------------------

void AppendEscape(std::u16string& out, unsigned char c) {
  std::string text;
  inet_detail::AppendEscape(text, c);
  out.append(text.begin(), text.end());
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
// A "#fragment" is no part of the key: it is never sent to a server, so it cannot name another
// resource, and the page loader stores addresses without it while pages name movies with it.
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
        for (char byte : ch) inet_detail::AppendEscape(utf8, static_cast<unsigned char>(byte));
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
        inet_detail::AppendEscape(key, static_cast<unsigned char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    if (c >= 0x80 || c <= 0x20 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '`')
      inet_detail::AppendEscape(key, c);
    else
      key += static_cast<char>(c);
  }
  // Cut in the key, which is ASCII: no trail byte of the caller's code page can pass for "#".
  std::size_t hash = key.find('#');
  if (hash != std::string::npos) key.erase(hash);
  return key;
}

std::string CacheKey(const std::string& url) { return AddressKey(CanonicalForm(url)); }

// ---- the per-process view of the index --------------------------------------------------

struct LoadedIndex {
  std::mutex mutex;
  std::string path;
  bool present = false;
  posix::FileStamp stamp;
  std::string codePage;  // keys of addresses stored with raw non-ASCII bytes depend on it
  Index index;
  std::size_t loads = 0;
};

LoadedIndex& Loaded() {
  static LoadedIndex loaded;
  return loaded;
}

// Reads the index from disk (missing or unreadable: empty); *dropped as for ParseIndex.
Index ReadIndexFile(const std::string& path, posix::FileStamp* stamp, bool* present,
                    std::vector<std::string>* dropped = nullptr) {
  *present = false;
  posix::Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return {};
  struct stat st;
  std::string data;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || posix::ReadAll(fd.get(), &data) != 0)
    return {};
  *present = true;
  if (stamp) *stamp = posix::FileStamp::Of(st);
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
  if (li.path != path || !li.present || !(li.stamp == posix::FileStamp::Of(st)) ||
      li.codePage != codePage) {
    bool present;
    posix::FileStamp stamp;
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
  posix::Fd fd_;
  bool locked_ = false;
  int err_ = 0;
};

// Replaces the index file atomically. Returns 0 or an errno.
int WriteIndexFile(const std::string& root, const Index& index) {
  std::string tmp = root + "/index.tmp";
  std::string data = SerializeIndex(index);
  posix::Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (fd.get() < 0) return errno;
  int err = posix::WriteAll(fd.get(), data.data(), data.size());
  if (!err && ::fsync(fd.get()) != 0) err = errno;
  if (int closeErr = fd.Close(); !err) err = closeErr;
  if (err) {
    ::unlink(tmp.c_str());
    return err;
  }
  if (::rename(tmp.c_str(), (root + "/index").c_str()) != 0) {
    err = errno;
    ::unlink(tmp.c_str());
    return err;
  }
  posix::SyncFolder(root);
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
  return posix::XdgFolder("XDG_CACHE_HOME", ".cache") + "/kelvora-swf-trovex/urlcache";
}

bool AddUrlCacheEntry(const std::string& url, const void* data, std::size_t size,
                      std::string* localFile) {
  if (url.empty() || url.find('\0') != std::string::npos || (!data && size)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string key = CacheKey(url);
  if (key.empty()) return Fail(ERROR_INVALID_PARAMETER);  // a fragment alone names nothing
  const std::string root = UrlCacheDirectory();
  if (int err = posix::MakeFolders(root)) return FailErrno(err);
  WriterLock lock(root);
  if (!lock.ok()) return FailErrno(lock.error());

  std::vector<std::string> folders;
  if (!EnsureSubfolders(root, &folders)) return FailErrno(errno ? errno : EIO);

  bool present;
  std::vector<std::string> dropped;
  Index index = ReadIndexFile(root + "/index", nullptr, &present, &dropped);

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
  posix::Fd out;
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
  int err = posix::WriteAll(out.get(), data, size);
  if (!err && ::fsync(out.get()) != 0) err = errno;
  if (int closeErr = out.Close(); !err) err = closeErr;
  if (err) {
    ::unlink(full.c_str());
    return FailErrno(err);
  }
  posix::SyncFolder(root + "/" + folder);

  std::string old;
  auto it = index.find(key);
  if (it != index.end()) old = it->second.local;
  index[key] = Entry{relative, size};
  if ((err = WriteIndexFile(root, index)) != 0) {
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

// The browser's URL cache: files in a few subfolders of the cache folder, named
// "name[N].ext", and an index mapping address -> file and size.
//
// An address is keyed in one spelling whatever code page or escaping its caller used, and
// without its fragment (see AddressKey), so the page loader, which stores the %-escaped UTF-8
// address it fetched, and the scanner, which looks up the page's text in the locale's code
// page, meet on the same entry.
//
// The index file "index" is a snapshot, replaced atomically, followed by the changes made
// since, one appended line each. Adding an entry thus costs one short append, not a rewrite of
// the whole index; the changes are folded into a new snapshot once there are as many as
// entries. Writers (the browser, possibly several processes) hold the writer lock ("index.lock",
// bounded wait) while they add files and change the index. Readers never lock: they see a
// snapshot plus whole appended lines (a torn last line is ignored). Entries are kept oldest
// first; past the size limit the oldest are evicted, as browsers do.
//
// Cache files are written under a temporary name and renamed into place, so a killed writer
// leaves no half movie under an entry's name; files that no entry names (a killed writer's
// temporaries, a lost journal line) are swept by the first writer of a run.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs/atomic_file.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/posix_io.h"
#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

namespace trovex {

namespace {

constexpr char kIndexHeader[] = "TROVEX-URLCACHE 1";
constexpr std::size_t kSubfolderCount = 4;
constexpr std::size_t kMaxNameBytes = 64;
constexpr std::size_t kMaxExtBytes = 16;
constexpr unsigned kMaxCounter = 100000;
// Larger index files are not ours (or not sane): read as empty, and replaced at the next write.
constexpr std::size_t kMaxIndexBytes = 64u << 20;

struct Entry {
  std::string local;  // "SUBFOLDER/name[N].ext", relative to the cache folder
  std::uint64_t size = 0;
  std::uint64_t seq = 0;  // age: smaller is older
};

// The entries with what writers need to keep them cheap to change: age order, the files in
// use, the bytes in total.
class Index {
 public:
  const std::map<std::string, Entry>& entries() const { return entries_; }
  std::uint64_t totalBytes() const { return total_; }
  bool Names(const std::string& local) const { return locals_.count(local) != 0; }
  std::size_t CountIn(const std::string& folder) const {
    auto it = perFolder_.find(folder);
    return it == perFolder_.end() ? 0 : it->second;
  }
  const Entry* Find(const std::string& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
  }
  // The oldest entry's key; null when empty.
  const std::string* Oldest() const { return byAge_.empty() ? nullptr : &byAge_.begin()->second; }
  // Adds or replaces; *replaced gets the file of a replaced entry.
  void Put(const std::string& key, std::string local, std::uint64_t size, std::string* replaced) {
    if (replaced) replaced->clear();
    auto it = entries_.find(key);
    if (it != entries_.end()) {
      if (replaced) *replaced = it->second.local;
      Forget(it);
    }
    Entry e{std::move(local), size, nextSeq_++};
    Remember(key, e);
    entries_.emplace(key, std::move(e));
  }
  bool Erase(const std::string& key, std::string* local) {
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    if (local) *local = it->second.local;
    Forget(it);
    return true;
  }

 private:
  static std::string FolderOf(const std::string& local) { return local.substr(0, local.find('/')); }
  void Remember(const std::string& key, const Entry& e) {
    byAge_.emplace(e.seq, key);
    locals_.insert(e.local);
    ++perFolder_[FolderOf(e.local)];
    total_ += e.size;
  }
  void Forget(std::map<std::string, Entry>::iterator it) {
    byAge_.erase(it->second.seq);
    locals_.erase(locals_.find(it->second.local));
    --perFolder_[FolderOf(it->second.local)];
    total_ -= it->second.size;
    entries_.erase(it);
  }

  std::map<std::string, Entry> entries_;
  std::map<std::uint64_t, std::string> byAge_;
  std::multiset<std::string> locals_;
  std::map<std::string, std::size_t> perFolder_;
  std::uint64_t total_ = 0;
  std::uint64_t nextSeq_ = 1;
};

// ---- file format: a header line, then "size TAB file TAB address" per entry, oldest first;
// then the changes: "+size TAB file TAB address" adds or replaces an entry, "- TAB TAB address"
// removes one. "%", TAB, CR and LF of the texts are written as %XX.

std::string EscapeField(std::string_view s) {
  return PercentEncode(s, [](unsigned char c) { return c == '%' || c == '\t' || c == '\n' || c == '\r'; });
}

std::string UnescapeField(std::string_view s) { return PercentDecode(s); }

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

// A snapshot line, or (`change`) a line appended later.
std::string EntryLine(std::string_view key, const Entry* e, bool change) {
  std::string out = e ? (change ? "+" : "") + std::to_string(e->size) : "-";
  out += '\t';
  if (e) out += EscapeField(e->local);
  out += '\t';
  out += EscapeField(key);
  out += '\n';
  return out;
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

// Every stored address is keyed again, so entries written before keys took their present form
// are still found (an address stored with raw non-ASCII bytes is read in the current code
// page, the one it was written in unless the locale changed since). A snapshot without its
// header reads as empty (false). *changes: the lines appended since the snapshot.
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

// ---- names ----------------------------------------------------------------------------

void AppendEscape(std::u16string& out, unsigned char c) {
  std::string text;
  AppendPercentEscape(text, c);
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
  std::string raw = PercentDecode(path);
  std::u16string wide;
  for (std::size_t i = 0; i < raw.size();) {
    char32_t cp;
    std::size_t len = DecodeUtf8(raw, i, &cp);
    if (len == 0) {
      AppendEscape(wide, static_cast<unsigned char>(raw[i]));
      ++i;
      continue;
    }
    if (!IsFormatControl(cp)) AppendUtf16(wide, cp);  // never in a name a user will see
    i += len;
  }
  std::string segment = Utf16ToAnsi(wide);
  // The extension first, so that "....swf" keeps it.
  std::size_t dot = MbReverseFind(segment, '.');
  if (dot != std::string::npos) {
    *ext = SanitizeName(std::string_view(segment).substr(dot + 1));
    segment.erase(dot);
  } else {
    ext->clear();
  }
  MbTrimLeft(segment, ".");
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
        for (char byte : ch) AppendPercentEscape(utf8, static_cast<unsigned char>(byte));
      }
      i += len;
    }
  }

  std::string key;
  key.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (const int escaped = EscapedByteAt(std::string_view(utf8), i); escaped >= 0x80) {
      AppendPercentEscape(key, static_cast<unsigned char>(escaped));
      i += 2;
      continue;
    }
    if (IsUnsafeInAddress(c))
      AppendPercentEscape(key, c);
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

// What a file's path shows now, without opening it.
posix::FileStamp StampOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? posix::FileStamp::Of(st) : posix::FileStamp{};
}

struct LoadedIndex {
  std::mutex mutex;
  std::string root;
  bool valid = false;
  posix::FileStamp stamp;
  std::string codePage;  // keys of addresses stored with raw non-ASCII bytes depend on it
  Index index;
  bool sound = false;                // the file is a regular file with our header
  std::size_t changes = 0;           // lines appended since its snapshot
  std::vector<std::string> dropped;  // files of entries the snapshot holds twice
  bool trusted = false;              // read without errors: files it does not name are orphans
  std::size_t loads = 0;
  // This process's writing.
  std::string sweptRoot;             // orphans are swept once per run and cache folder
  std::string foldersRoot;           // the cache folder whose subfolders `folders` lists
  std::vector<std::string> folders;
  std::uint64_t runBytes = 0;
  std::map<std::string, unsigned> nextCounter;  // "folder/name.ext" -> first counter to try
};

LoadedIndex& Loaded() {
  static LoadedIndex* loaded = new LoadedIndex;  // never destroyed: used until the very end
  return *loaded;
}

struct Limits {
  std::uint64_t totalBytes = kDefaultUrlCacheTotalBytes;
  std::uint64_t runBytes = kDefaultUrlCacheRunBytes;
};

Limits& CurrentLimits() {
  static Limits limits;
  return limits;
}

// Reads the index into li (the caller holds li.mutex).
void Reload(LoadedIndex& li, const std::string& root) {
  li.index = Index();
  li.dropped.clear();
  std::string data;
  posix::FileStamp stamp;
  int err = posix::ReadRegularFile(root + "/index", kMaxIndexBytes, &data, &stamp);
  li.sound = err == 0 && ParseIndex(data, &li.index, &li.dropped, &li.changes);
  li.stamp = err == 0 ? stamp : StampOf(root + "/index");
  // A file that is not ours to read (FIFO, device, huge) makes the index empty, to be replaced;
  // one that could not be read for other reasons (EIO, EACCES) makes nothing an orphan.
  li.trusted = err == 0 || err == ENOENT || err == EINVAL || err == EFBIG || err == EISDIR;
  li.root = root;
  li.codePage = CurrentCodePage();
  li.valid = true;
  ++li.loads;
}

// Brings li up to date with the file (the caller holds li.mutex).
void Refresh(LoadedIndex& li, const std::string& root) {
  if (!li.valid || li.root != root || !(li.stamp == StampOf(root + "/index")) ||
      li.codePage != CurrentCodePage())
    Reload(li, root);
}

// Look-up scopes of this thread: within one, the file is compared with the copy only once.
struct LookupScope {
  int depth = 0;
  bool checked = false;
  std::string root;  // the cache folder, found once per scope
};
thread_local LookupScope t_lookupScope;

// The cache folder for a look-up: inside a scope the environment is read once, not per movie.
std::string LookupRoot() {
  LookupScope& scope = t_lookupScope;
  if (scope.depth == 0) return UrlCacheDirectory();
  if (scope.root.empty()) scope.root = UrlCacheDirectory();
  return scope.root;
}

// Looks `url` up through the per-process copy, refreshing it when the files changed (once per
// look-up scope). The key is made only when there are entries to look in.
bool FindEntry(const std::string& root, const char* url, std::string* key, Entry* entry) {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::mutex> lock(li.mutex);
  LookupScope& scope = t_lookupScope;
  if (scope.depth == 0 || !scope.checked || !li.valid || li.root != root ||
      li.codePage != CurrentCodePage()) {
    Refresh(li, root);
    scope.checked = scope.depth > 0;
  }
  if (li.index.entries().empty()) return false;
  *key = CacheKey(url);
  const Entry* e = li.index.Find(*key);
  if (!e) return false;
  *entry = *e;
  return true;
}

// ---- writing ----------------------------------------------------------------------------

// The cache's subfolders, created up to kSubfolderCount with random names.
bool EnsureSubfolders(const std::string& root, std::vector<std::string>* folders) {
  folders->clear();
  if (DIR* dir = ::opendir(root.c_str())) {
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      struct stat st;
      if (IsSubfolderName(name) && ::lstat((root + "/" + name).c_str(), &st) == 0 &&
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

void RemoveFiles(const std::string& root, const std::vector<std::string>& locals) {
  for (const std::string& local : locals) ::unlink((root + "/" + local).c_str());
}

// Removes the files of the subfolders that no entry names. Only under the writer lock, which
// every writer holds while its file is still unnamed.
void SweepOrphans(const std::string& root, const std::vector<std::string>& folders,
                  const Index& index) {
  for (const std::string& folder : folders) {
    DIR* dir = ::opendir((root + "/" + folder).c_str());
    if (!dir) continue;
    std::vector<std::string> orphans;
    while (dirent* d = ::readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == ".." || index.Names(folder + "/" + name)) continue;
      struct stat st;
      std::string full = root + "/" + folder + "/" + name;
      if (::lstat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) orphans.push_back(full);
    }
    ::closedir(dir);
    for (const std::string& path : orphans) ::unlink(path.c_str());
  }
}

// Holds the writer lock and an up-to-date li (li.mutex included) for its lifetime, and
// records the changes to append to the journal.
class Writer {
 public:
  explicit Writer(const std::string& root) : root_(root), li_(Loaded()), guard_(li_.mutex) {
    int err = lock_.Acquire(root + "/index.lock");
    if (err) {
      error_ = err == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : Win32ErrorFromErrno(err);
      return;
    }
    Refresh(li_, root);
    ok_ = true;
  }
  bool ok() const { return ok_; }
  DWORD error() const { return error_; }
  LoadedIndex& loaded() { return li_; }
  Index& index() { return li_.index; }

  void Put(const std::string& key, const std::string& local, std::uint64_t size) {
    std::string replaced;
    li_.index.Put(key, local, size, &replaced);
    if (!replaced.empty() && replaced != local && !li_.index.Names(replaced))
      unlinkAfter_.push_back(replaced);
    journal_ += EntryLine(key, li_.index.Find(key), true);
    ++lines_;
  }
  void Erase(const std::string& key) {
    std::string local;
    if (!li_.index.Erase(key, &local)) return;
    if (!li_.index.Names(local)) unlinkAfter_.push_back(local);
    journal_ += EntryLine(key, nullptr, true);
    ++lines_;
  }

  // Writes the changes: appended to the index, or a new snapshot when there are as many
  // changes as entries (or the file is not sound, or holds entries twice). Then removes the
  // files that no entry names any more. 0 or an errno; on failure li is read again next time.
  int Commit() {
    if (!lines_ && li_.dropped.empty()) return 0;
    int err = 0;
    if (!li_.sound || !li_.dropped.empty() ||
        li_.changes + lines_ > std::max<std::size_t>(1024, li_.index.entries().size()))
      err = WriteSnapshot();
    else
      err = Append();
    if (err) {
      li_.valid = false;  // memory holds changes the file does not
      return err;
    }
    RemoveFiles(root_, unlinkAfter_);
    return 0;
  }

 private:
  int WriteSnapshot() {
    std::string data = SerializeIndex(li_.index);
    if (int err = posix::ReplaceFileContents(root_ + "/index", data.data(), data.size(), 0600))
      return err;
    RemoveFiles(root_, li_.dropped);
    li_.dropped.clear();
    li_.sound = true;
    li_.changes = 0;
    li_.stamp = StampOf(root_ + "/index");
    return 0;
  }

  int Append() {
    // No O_CREAT: a sound index exists. O_NONBLOCK and O_NOFOLLOW: whatever was put in its
    // place since (a FIFO, a link to a device) must not hang the writer; it is replaced.
    posix::Fd fd(::open((root_ + "/index").c_str(),
                        O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !(posix::FileStamp::Of(st) == li_.stamp))
      return WriteSnapshot();
    std::string data;
    // A line torn by a killed writer must not swallow the first of ours.
    if (st.st_size > 0) {
      char last = '\n';
      if (::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') data += '\n';
    }
    data += journal_;
    if (int err = posix::WriteAll(fd.get(), data.data(), data.size())) return err;
    if (::fstat(fd.get(), &st) != 0) return errno;
    li_.changes += lines_;
    li_.stamp = posix::FileStamp::Of(st);
    return 0;
  }

  std::string root_;
  LoadedIndex& li_;
  std::lock_guard<std::mutex> guard_;
  posix::FileLock lock_;
  bool ok_ = false;
  DWORD error_ = 0;
  std::string journal_;
  std::size_t lines_ = 0;
  std::vector<std::string> unlinkAfter_;
};

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

// ---- write groups: files synced together instead of one by one ---------------------------

constexpr std::size_t kGroupMaxFiles = 256;

struct WriteGroup {
  int depth = 0;
  std::vector<std::string> files;  // renamed into place, not yet synced
  std::set<std::string> folders;
  std::set<std::string> indexes;   // index files appended to since the last sync
  int error = 0;                   // first failed sync of a batch, for Commit
};
thread_local WriteGroup t_group;

// Starts the write-back of every file first and then waits for each, so the disk sees one
// batch, not one flush a file. 0 or the first errno.
int SyncGroup(WriteGroup& g) {
  std::vector<int> fds;
  fds.reserve(g.files.size() + g.indexes.size());
  for (const std::string& path : g.files) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;  // evicted since: nothing of it left to keep
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    fds.push_back(fd);
  }
  for (const std::string& path : g.indexes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd >= 0) fds.push_back(fd);
  }
  int err = 0;
  for (int fd : fds) {
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && err == 0) err = errno;
    ::close(fd);
  }
  for (const std::string& folder : g.folders) posix::SyncFolder(folder);
  g.files.clear();
  g.folders.clear();
  g.indexes.clear();
  return err;
}

// Writes the movie under the first counter that neither the index nor the disk uses.
// 0 and *relative, or an errno.
int StoreFile(const std::string& root, const std::string& folder, const std::string& name,
              const std::string& ext, const void* data, std::size_t size, LoadedIndex& li,
              std::string* relative) {
  unsigned& next = li.nextCounter[folder + "/" + name + "." + ext];
  for (unsigned n = std::max(next, 1u); n <= kMaxCounter; ++n) {
    std::string candidate = folder + "/" + CounterName(name, ext, n);
    if (li.index.Names(candidate)) continue;
    posix::AtomicFile file;
    int err = file.Open(root + "/" + candidate, 0600);
    if (!err) err = file.Write(data, size);
    const bool grouped = t_group.depth > 0;
    if (!err)
      err = grouped ? file.CommitUnsynced(posix::AtomicFile::Replace::kNever)
                    : file.Commit(posix::AtomicFile::Replace::kNever);
    if (err == EEXIST) continue;  // on disk but in no entry: swept later, never reused
    if (err) return err;
    if (grouped) {
      t_group.files.push_back(root + "/" + candidate);
      t_group.folders.insert(root + "/" + folder);
    }
    next = n + 1;
    *relative = std::move(candidate);
    return 0;
  }
  return EEXIST;
}

}  // namespace

std::size_t inet_detail::ReadUrlCacheIndexText(std::string_view text, std::string* snapshot) {
  Index index;
  std::vector<std::string> dropped;
  std::size_t changes = 0;
  ParseIndex(text, &index, &dropped, &changes);
  if (snapshot) *snapshot = SerializeIndex(index);
  return index.entries().size();
}

std::string UrlCacheDirectory() {
  return posix::XdgFolder("XDG_CACHE_HOME", ".cache") + "/kelvora-swf-trovex/urlcache";
}

void SetUrlCacheLimits(std::uint64_t totalBytes, std::uint64_t runBytes) {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::mutex> lock(li.mutex);
  CurrentLimits() = Limits{totalBytes, runBytes};
  li.runBytes = 0;
}

namespace {

// AddUrlCacheEntry but for the sync of a write group's batch.
bool AddEntry(const std::string& url, const void* data, std::size_t size, std::string* localFile) {
  if (url.empty() || url.find('\0') != std::string::npos || (!data && size)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string key = CacheKey(url);
  if (key.empty()) return Fail(ERROR_INVALID_PARAMETER);  // a fragment alone names nothing
  const std::string root = UrlCacheDirectory();
  if (int err = posix::MakeFolders(root)) return FailErrno(err);
  Writer writer(root);
  if (!writer.ok()) return Fail(writer.error());
  LoadedIndex& li = writer.loaded();
  const Limits limits = CurrentLimits();
  // More than the whole cache may hold, or than one run may add: not cached.
  if (size > limits.totalBytes || li.runBytes + size > limits.runBytes)
    return Fail(ERROR_DISK_FULL);

  // The subfolders are listed once per run and cache folder, and again when one has gone.
  std::vector<std::string>& folders = li.folders;
  auto listFolders = [&]() {
    li.foldersRoot.clear();
    if (!EnsureSubfolders(root, &folders)) return false;
    li.foldersRoot = root;
    return true;
  };
  if ((li.foldersRoot != root || folders.empty()) && !listFolders()) return FailErrno(errno ? errno : EIO);
  if (li.sweptRoot != root && li.trusted) {
    SweepOrphans(root, folders, li.index);
    li.sweptRoot = root;
  }

  // The subfolder holding the fewest entries takes the new file.
  auto leastUsed = [&]() {
    std::string folder = folders.front();
    for (const auto& f : folders)
      if (li.index.CountIn(f) < li.index.CountIn(folder)) folder = f;
    return folder;
  };

  std::string name, ext;
  NameParts(key, &name, &ext);
  std::string relative;
  int err = StoreFile(root, leastUsed(), name, ext, data, size, li, &relative);
  if (err == ENOENT) {  // a subfolder was removed since it was listed
    if (!listFolders()) return FailErrno(errno ? errno : EIO);
    err = StoreFile(root, leastUsed(), name, ext, data, size, li, &relative);
  }
  if (err) return err == EEXIST ? Fail(ERROR_FILE_EXISTS) : FailErrno(err);

  writer.Put(key, relative, size);
  // The oldest entries make room (never the new one).
  while (writer.index().totalBytes() > limits.totalBytes) {
    const std::string* oldest = writer.index().Oldest();
    if (!oldest || *oldest == key) break;
    writer.Erase(std::string(*oldest));
  }
  if (int err = writer.Commit()) {
    ::unlink((root + "/" + relative).c_str());
    return FailErrno(err);
  }
  li.runBytes += size;
  if (localFile) *localFile = root + "/" + relative;
  if (t_group.depth > 0) t_group.indexes.insert(root + "/index");
  return true;
}

}  // namespace

bool AddUrlCacheEntry(const std::string& url, const void* data, std::size_t size,
                      std::string* localFile) {
  if (!AddEntry(url, data, size, localFile)) return false;
  // A bounded batch: what a failing group leaves unsynced stays small. The entry itself is
  // made; a failed sync is the group's to report.
  WriteGroup& g = t_group;
  if (g.depth > 0 && g.files.size() >= kGroupMaxFiles) {
    int err = SyncGroup(g);
    if (err && !g.error) g.error = err;
  }
  return true;
}

BOOL DeleteUrlCacheEntryA(const char* url) {
  if (!url || !*url) return Failed(ERROR_INVALID_PARAMETER);
  const std::string root = UrlCacheDirectory();
  struct stat st;
  if (::stat(root.c_str(), &st) != 0) return Failed(ERROR_FILE_NOT_FOUND);
  Writer writer(root);
  if (!writer.ok()) return Failed(writer.error());
  const std::string key = CacheKey(url);
  if (!writer.index().Find(key)) return Failed(ERROR_FILE_NOT_FOUND);
  writer.Erase(key);
  if (int err = writer.Commit()) return FailedErrno(err);
  return TRUE;
}

BOOL GetUrlCacheEntryInfoA(const char* url, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size) {
  if (!url || !*url || (info && !size)) return Failed(ERROR_INVALID_PARAMETER);
  const std::string root = LookupRoot();
  std::string key;
  Entry entry;
  if (!FindEntry(root, url, &key, &entry)) return Failed(ERROR_FILE_NOT_FOUND);
  // An entry whose file has gone (cleaned by hand) is no entry: nothing could be copied.
  std::string local = root + "/" + entry.local;
  struct stat st;
  // Nor is one whose file is shorter or longer than stored: a power cut before a write group's
  // sync can leave a file cut short, and only whole movies are offered.
  if (::stat(local.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) != entry.size)
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

UrlCacheWriteGroup::UrlCacheWriteGroup() { ++t_group.depth; }

UrlCacheWriteGroup::~UrlCacheWriteGroup() {
  Commit();
  --t_group.depth;
}

bool UrlCacheWriteGroup::Commit() {
  WriteGroup& g = t_group;
  int err = SyncGroup(g);
  if (g.error) err = std::exchange(g.error, 0);
  if (err) SetLastErrorFromErrno(err);
  return err == 0;
}

UrlCacheLookupScope::UrlCacheLookupScope() {
  if (t_lookupScope.depth++ == 0) {
    t_lookupScope.checked = false;
    t_lookupScope.root.clear();
  }
}

UrlCacheLookupScope::~UrlCacheLookupScope() { --t_lookupScope.depth; }

std::size_t UrlCacheIndexLoadCount() {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::mutex> lock(li.mutex);
  return li.loads;
}

std::string UrlCacheCanonicalForm(const std::string& url) { return CanonicalForm(url); }

}  // namespace trovex

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
// Cache files are written without a name (or, where the file system cannot, under a temporary
// one) and linked into place whole, so a killed writer leaves no half movie under an entry's
// name; files that no entry names (a killed writer's temporaries, a lost journal line) are
// swept by the first writer of a run.
//
// This file is the API; the index and its text are in urlcache_index, keys and file names in
// urlcache_names, and the files, the lock and the syncs in urlcache_store.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "platform/error/error.h"
#include "platform/fs/posix_io.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlcache_names.h"
#include "platform/inet/urlcache_store.h"
#include "platform/text/text.h"

namespace trovex {

using namespace urlcache;

namespace {

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
  if (!PrepareFolders(li, root, false)) return FailErrno(errno ? errno : EIO);

  std::string name, ext;
  NameParts(key, &name, &ext);
  // The same body again (a page loaded twice, the player role after a scan): the entry keeps
  // its file and name, since another reader (a Save dialog, another process) may have listed
  // it; the entry only becomes the newest.
  if (const Entry* stored = li.index.Find(key)) {
    if (OpenSameStoredBody(root, *stored, data, size).get() >= 0) {
      const std::string kept = stored->local;
      writer.Put(key, kept, size);
      if (int err = writer.Commit()) return FailErrno(err);
      if (localFile) *localFile = root + "/" + kept;
      return true;
    }
  }
  std::string relative;
  int err = StoreFile(root, LeastUsedFolder(li), name, ext, data, size, li, &relative);
  if (err == ENOENT) {  // a subfolder was removed since it was listed
    if (!PrepareFolders(li, root, true)) return FailErrno(errno ? errno : EIO);
    err = StoreFile(root, LeastUsedFolder(li), name, ext, data, size, li, &relative);
  }
  if (err) return err == EEXIST ? Fail(ERROR_FILE_EXISTS) : FailErrno(err);

  writer.Put(key, relative, size);
  writer.EvictDownTo(limits.totalBytes, key);  // the oldest make room, never the new one
  if (int err = writer.Commit()) {
    ::unlink((root + "/" + relative).c_str());
    return FailErrno(err);
  }
  li.runBytes += size;
  if (localFile) *localFile = root + "/" + relative;
  return true;
}

}  // namespace

std::string UrlCacheDirectory() {
  return posix::XdgFolder("XDG_CACHE_HOME", ".cache") + "/kelvora-swf-trovex/urlcache";
}

void SetUrlCacheLimits(std::uint64_t totalBytes, std::uint64_t runBytes) {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::shared_mutex> lock(li.mutex);
  CurrentLimits() = Limits{totalBytes, runBytes};
  li.runBytes = 0;
}

bool AddUrlCacheEntry(const std::string& url, const void* data, std::size_t size,
                      std::string* localFile) {
  if (!AddEntry(url, data, size, localFile)) return false;
  if (InWriteGroup()) AddedInGroup(UrlCacheDirectory());
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
  const std::string& root = LookupRoot();
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

UrlCacheWriteGroup::UrlCacheWriteGroup() { EnterWriteGroup(); }

UrlCacheWriteGroup::~UrlCacheWriteGroup() {
  Commit();
  LeaveWriteGroup();
}

bool UrlCacheWriteGroup::Commit() {
  int err = SyncWriteGroup();
  if (err) SetLastErrorFromErrno(err);
  return err == 0;
}

UrlCacheLookupScope::UrlCacheLookupScope() {
  LookupScope& scope = ThisThreadLookupScope();
  if (scope.depth++ == 0) {
    scope.checked = false;
    scope.root.clear();
  }
}

UrlCacheLookupScope::~UrlCacheLookupScope() { --ThisThreadLookupScope().depth; }

std::size_t UrlCacheIndexLoadCount() {
  LoadedIndex& li = Loaded();
  std::lock_guard<std::shared_mutex> lock(li.mutex);
  return li.loads;
}

std::string UrlCacheCanonicalForm(const std::string& url) { return CanonicalForm(url); }

}  // namespace trovex

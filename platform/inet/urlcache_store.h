// The URL cache's files as this process sees and writes them: its copy of the index (re-read
// when the file changes), the writer lock, the subfolders and the movie files, and the write
// groups' syncs. Internal to the inet layer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/posix_io.h"
#include "platform/inet/inet.h"
#include "platform/inet/urlcache_index.h"

namespace trovex::urlcache {

struct LoadedIndex {
  std::shared_mutex mutex;  // shared by look-ups that find their copy up to date
  // Moves on whenever the entries in memory may have changed (a load, a writer), so a look-up
  // scope can tell without the lock that what it saw still stands.
  std::atomic<std::uint64_t> generation{0};
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

// The one copy of this process (never destroyed: used until the very end).
LoadedIndex& Loaded();

struct Limits {
  std::uint64_t totalBytes = kDefaultUrlCacheTotalBytes;
  std::uint64_t runBytes = kDefaultUrlCacheRunBytes;
};
Limits& CurrentLimits();

// Brings li up to date with the file (the caller holds li.mutex).
void Refresh(LoadedIndex& li, const std::string& root);

// Look-up scopes of this thread: within one, the file is compared with the copy only once.
struct LookupScope {
  int depth = 0;
  bool checked = false;
  bool emptyIndex = false;       // what the last look-up of the scope saw,
  bool fileEntries = false;      // (whether any entry is of a file: address)
  std::uint64_t generation = 0;  // at this generation

  std::string root;  // the cache folder, found once per scope
};
LookupScope& ThisThreadLookupScope();

// The cache folder for a look-up: inside a scope the environment is read once, not per movie.
const std::string& LookupRoot();

// Looks `url` up through the per-process copy, refreshing it when the files changed (once per
// look-up scope). The key is made only when there are entries to look in.
bool FindEntry(const std::string& root, const char* url, std::string* key, Entry* entry);

// Lists the subfolders into li.folders (making them as needed) once per run and cache folder,
// and again when `again`; sweeps the orphans once per run. False with errno set.
bool PrepareFolders(LoadedIndex& li, const std::string& root, bool again);

// The subfolder holding the fewest entries, which takes the next file.
std::string LeastUsedFolder(const LoadedIndex& li);

// Holds the writer lock and an up-to-date li (li.mutex included) for its lifetime, and
// records the changes to append to the journal.
class Writer {
 public:
  explicit Writer(const std::string& root);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  bool ok() const { return ok_; }
  DWORD error() const { return error_; }
  LoadedIndex& loaded() { return li_; }
  Index& index() { return li_.index; }

  void Put(const std::string& key, const std::string& local, std::uint64_t size);
  void Erase(const std::string& key);
  // Erases the oldest entries (never `keep`) until the entries fit in `totalBytes`.
  void EvictDownTo(std::uint64_t totalBytes, const std::string& keep);

  // Writes the changes: appended to the index, or a new snapshot when there are as many
  // changes as entries (or the file is not sound, or holds entries twice). Then removes the
  // files that no entry names any more. 0 or an errno; on failure li is read again next time.
  int Commit();

 private:
  // Takes the writer lock: on a lock file of its own, or within a write group on the group's.
  int Lock();
  int WriteSnapshot();
  int Append();

  std::string root_;
  LoadedIndex& li_;
  std::lock_guard<std::shared_mutex> guard_;
  posix::Fd ownLockFd_;
  int lockedFd_ = -1;  // unlocked when the writer goes
  bool ok_ = false;
  DWORD error_ = 0;
  std::string journal_;
  std::size_t lines_ = 0;
  std::vector<std::string> unlinkAfter_;
};

// The file of `entry` open for reading when it holds exactly `data` (a page loaded twice caches
// the same body again), else -1.
posix::Fd OpenSameStoredBody(const std::string& root, const Entry& entry, const void* data,
                             std::size_t size);

// Writes the movie under the first counter that neither the index nor the disk uses.
// 0 and *relative, or an errno.
int StoreFile(const std::string& root, const std::string& folder, const std::string& name,
              const std::string& ext, const void* data, std::size_t size, LoadedIndex& li,
              std::string* relative);

// The calling thread's write groups: depth, and what they wrote that is not synced yet. Within
// a group the lock file and the index stay open (closed when the outermost group ends), and
// the files are made durable together by one syncfs a file system.
bool InWriteGroup();
void EnterWriteGroup();
void LeaveWriteGroup();
// Notes that an entry was added in `root` within a group; syncs when the batch is full.
void AddedInGroup(const std::string& root);
// Syncs what the group wrote so far. 0 or the first errno since the last call.
int SyncWriteGroup();

}  // namespace trovex::urlcache

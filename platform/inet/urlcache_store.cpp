#include "platform/inet/urlcache_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <shared_mutex>
#include <utility>

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/inet/urlcache_names.h"
#include "platform/text/text.h"

namespace trovex::urlcache {

namespace {

constexpr std::size_t kSubfolderCount = 4;
constexpr unsigned kMaxCounter = 100000;

// What a file's path shows now, without opening it.
posix::FileStamp StampOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? posix::FileStamp::Of(st) : posix::FileStamp{};
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
  ++li.generation;
}

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


// ---- write groups: what a thread's group wrote, made durable together ----------------------

// A batch is synced once it holds this many files or bytes, so that what a failing group
// leaves unsynced stays bounded.
constexpr std::size_t kGroupMaxFiles = 4096;
constexpr std::uint64_t kGroupMaxBytes = 64ull << 20;

struct WriteGroup {
  int depth = 0;
  // Kept open while the group lives, for the cache folder `root`: the lock file, locked and
  // unlocked for each entry so other writers wait for an entry at most, never for a page's
  // downloads; and the index as this group last appended to it.
  std::string root;
  pid_t pid = 0;  // a forked child shares the descriptions, and so its parent's lock
  posix::Fd lockFd;
  dev_t lockDev = 0;
  ino_t lockIno = 0;
  posix::Fd indexFd;
  posix::FileStamp indexStamp;  // what it was after that append
  // Not synced yet. A folder open on each file system written to: its syncfs then reports the
  // write-back errors since that open.
  std::map<dev_t, posix::Fd> fileSystems;
  std::set<std::string> folders;
  std::vector<std::string> files;  // for where syncfs is not offered
  std::set<std::string> indexes;
  std::uint64_t bytes = 0;
  int error = 0;  // first failed sync of a batch, for Commit
};
thread_local WriteGroup t_group;

// Keeps `folder` (and its file system) for the group's sync.
void NoteGroupFolder(WriteGroup& g, const std::string& folder) {
  if (!g.folders.insert(folder).second) return;
  posix::Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || g.fileSystems.count(st.st_dev)) return;
  g.fileSystems[st.st_dev].Reset(::dup(fd.get()));
}

// The old way, where syncfs is not offered: every file's write-back started first, then each
// waited for, so the disk sees one batch.
int SyncEachFile(const WriteGroup& g) {
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
  return err;
}

// One syncfs for each file system the batch wrote to: its files, their names and the index
// lines reach the disk in one wait (a sync a file cost a wait each). 0 or the first errno.
int SyncGroup(WriteGroup& g) {
  int err = 0;
  bool eachFile = false;
  for (auto& [dev, fd] : g.fileSystems) {
    if (::syncfs(fd.get()) == 0) continue;
    if (errno == ENOSYS) {
      eachFile = true;
      break;
    }
    if (err == 0) err = errno;
  }
  if (eachFile) err = SyncEachFile(g);
  g.fileSystems.clear();
  g.folders.clear();
  g.files.clear();
  g.indexes.clear();
  g.bytes = 0;
  return err;
}

// The group's lock file for `root`, open; -1 with errno set.
int GroupLockFile(WriteGroup& g, const std::string& root) {
  if (g.root != root || g.pid != ::getpid()) {
    g.root = root;
    g.pid = ::getpid();
    g.lockFd.Reset(-1);
    g.indexFd.Reset(-1);
  }
  const std::string path = root + "/index.lock";
  struct stat st;
  // A lock file removed since it was opened (the cache folder cleaned by hand) locks nobody out.
  if (g.lockFd.get() >= 0 && (::stat(path.c_str(), &st) != 0 || st.st_ino != g.lockIno ||
                              st.st_dev != g.lockDev))
    g.lockFd.Reset(-1);
  if (g.lockFd.get() < 0) {
    g.lockFd.Reset(posix::FileLock::OpenLockFile(path));
    if (g.lockFd.get() < 0) return -1;
    if (::fstat(g.lockFd.get(), &st) != 0) {
      g.lockFd.Reset(-1);
      return -1;
    }
    g.lockDev = st.st_dev;
    g.lockIno = st.st_ino;
  }
  return g.lockFd.get();
}

}  // namespace

LoadedIndex& Loaded() {
  static LoadedIndex* loaded = new LoadedIndex;  // never destroyed: used until the very end
  return *loaded;
}

Limits& CurrentLimits() {
  static Limits limits;
  return limits;
}

void Refresh(LoadedIndex& li, const std::string& root) {
  if (!li.valid || li.root != root || !(li.stamp == StampOf(root + "/index")) ||
      li.codePage != CurrentCodePage())
    Reload(li, root);
}


LookupScope& ThisThreadLookupScope() {
  static thread_local LookupScope scope;
  return scope;
}

const std::string& LookupRoot() {
  LookupScope& scope = ThisThreadLookupScope();
  if (scope.depth == 0 || scope.root.empty()) scope.root = UrlCacheDirectory();
  return scope.root;
}

bool FindEntry(const std::string& root, const char* url, std::string* key, Entry* entry) {
  LoadedIndex& li = Loaded();
  LookupScope& scope = ThisThreadLookupScope();
  const bool seen = scope.depth > 0 && scope.checked &&
                    scope.generation == li.generation.load(std::memory_order_acquire);
  // Nothing to find, and nothing written since: no lock, which the threads of one scan would
  // otherwise take turns at for every movie. Local movies, looked up most, are never among the
  // downloads the cache holds; a "file:" address keys as "file:...", whatever else it holds.
  if (seen && (scope.emptyIndex || (!scope.fileEntries && std::string_view(url).starts_with("file:"))))
    return false;
  // The copy in memory is that of this cache folder, keyed in this code page.
  auto current = [&] { return li.valid && li.root == root && li.codePage == CurrentCodePage(); };
  auto take = [&] {
    const Entry* e = li.index.Find(*key);
    if (e) *entry = *e;
    return e != nullptr;
  };
  // Entries to look in: the key is made before the lock, and the lock is shared, for the same
  // reason. Nothing loaded or written since the scope last looked: the copy is the file's.
  if (seen) {
    *key = CacheKey(url);
    std::shared_lock<std::shared_mutex> lock(li.mutex);
    if (scope.generation == li.generation.load(std::memory_order_relaxed) && current()) return take();
  }
  std::lock_guard<std::shared_mutex> lock(li.mutex);
  if (scope.depth == 0 || !scope.checked || !current()) {
    Refresh(li, root);
    scope.checked = scope.depth > 0;
  }
  scope.emptyIndex = li.index.entries().empty();
  const auto firstFile = li.index.entries().lower_bound("file:");
  scope.fileEntries = firstFile != li.index.entries().end() && firstFile->first.starts_with("file:");
  scope.generation = li.generation.load(std::memory_order_relaxed);
  if (scope.emptyIndex) return false;
  if (!seen) *key = CacheKey(url);
  return take();
}

bool PrepareFolders(LoadedIndex& li, const std::string& root, bool again) {
  if (again || li.foldersRoot != root || li.folders.empty()) {
    li.foldersRoot.clear();
    if (!EnsureSubfolders(root, &li.folders)) return false;
    li.foldersRoot = root;
  }
  if (li.sweptRoot != root && li.trusted) {
    SweepOrphans(root, li.folders, li.index);
    li.sweptRoot = root;
  }
  return true;
}

std::string LeastUsedFolder(const LoadedIndex& li) {
  std::string folder = li.folders.front();
  for (const auto& f : li.folders)
    if (li.index.CountIn(f) < li.index.CountIn(folder)) folder = f;
  return folder;
}

Writer::Writer(const std::string& root) : root_(root), li_(Loaded()), guard_(li_.mutex) {
  if (int err = Lock()) {
    error_ = err == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : Win32ErrorFromErrno(err);
    return;
  }
  Refresh(li_, root);
  ok_ = true;
}

Writer::~Writer() {
  ++li_.generation;  // still under the lock
  if (lockedFd_ >= 0) ::flock(lockedFd_, LOCK_UN);
}

int Writer::Lock() {
  int fd = -1;
  if (t_group.depth > 0) {
    fd = GroupLockFile(t_group, root_);
  } else {
    ownLockFd_.Reset(posix::FileLock::OpenLockFile(root_ + "/index.lock"));
    fd = ownLockFd_.get();
  }
  if (fd < 0) return errno;
  if (int err = posix::FileLock::LockDescriptor(fd, true, posix::FileLock::DefaultTimeout()))
    return err;
  lockedFd_ = fd;
  return 0;
}

void Writer::Put(const std::string& key, const std::string& local, std::uint64_t size) {
  std::string replaced;
  li_.index.Put(key, local, size, &replaced);
  if (!replaced.empty() && replaced != local && !li_.index.Names(replaced))
    unlinkAfter_.push_back(replaced);
  journal_ += EntryLine(key, li_.index.Find(key), true);
  ++lines_;
}

void Writer::Erase(const std::string& key) {
  std::string local;
  if (!li_.index.Erase(key, &local)) return;
  if (!li_.index.Names(local)) unlinkAfter_.push_back(local);
  journal_ += EntryLine(key, nullptr, true);
  ++lines_;
}

void Writer::EvictDownTo(std::uint64_t totalBytes, const std::string& keep) {
  while (li_.index.totalBytes() > totalBytes) {
    const std::string* oldest = li_.index.Oldest();
    if (!oldest || *oldest == keep) break;
    Erase(std::string(*oldest));
  }
}

int Writer::Commit() {
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

int Writer::WriteSnapshot() {
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

int Writer::Append() {
  WriteGroup& g = t_group;
  const bool grouped = g.depth > 0 && g.root == root_;
  posix::Fd own;
  posix::Fd& fd = grouped ? g.indexFd : own;
  std::string data;
  // The group's descriptor stands while the file is as its last append left it; otherwise the
  // file is opened again and checked.
  if (!grouped || fd.get() < 0 || !(g.indexStamp == li_.stamp)) {
    // No O_CREAT: a sound index exists. O_NONBLOCK and O_NOFOLLOW: whatever was put in its
    // place since (a FIFO, a link to a device) must not hang the writer; it is replaced.
    fd.Reset(::open((root_ + "/index").c_str(),
                    O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !(posix::FileStamp::Of(st) == li_.stamp)) {
      fd.Reset(-1);
      return WriteSnapshot();
    }
    // A line torn by a killed writer must not swallow the first of ours.
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
      data += '\n';
  }
  data += journal_;
  struct stat st;
  if (int err = posix::WriteAll(fd.get(), data.data(), data.size())) return err;
  if (::fstat(fd.get(), &st) != 0) return errno;
  li_.changes += lines_;
  li_.stamp = posix::FileStamp::Of(st);
  if (grouped) g.indexStamp = li_.stamp;
  return 0;
}

posix::Fd OpenSameStoredBody(const std::string& root, const Entry& entry, const void* data,
                             std::size_t size) {
  if (entry.size != size) return posix::Fd(-1);
  // Whatever stands under the name now must be the regular file it was: no link, no FIFO.
  posix::Fd fd(::open((root + "/" + entry.local).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_size) != size)
    return posix::Fd(-1);
  const char* want = static_cast<const char*>(data);
  char buffer[64 * 1024];
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::pread(fd.get(), buffer, std::min(sizeof buffer, size - done), static_cast<off_t>(done));
    if (n <= 0 || std::memcmp(buffer, want + done, static_cast<std::size_t>(n)) != 0) return posix::Fd(-1);
    done += static_cast<std::size_t>(n);
  }
  return fd;
}


int StoreFile(const std::string& root, const std::string& folder, const std::string& name,
              const std::string& ext, const void* data, std::size_t size, LoadedIndex& li,
              std::string* relative) {
  unsigned& next = li.nextCounter[folder + "/" + name + "." + ext];
  const bool grouped = t_group.depth > 0;
  for (unsigned n = std::max(next, 1u); n <= kMaxCounter; ++n) {
    std::string candidate = folder + "/" + CounterName(name, ext, n);
    if (li.index.Names(candidate)) continue;
    // Unnamed until it is whole, then linked to its name: a killed writer leaves nothing.
    posix::AtomicFile file;
    int err = file.Open(root + "/" + candidate, 0600, posix::AtomicFile::Temporary::kUnnamed);
    if (!err) err = file.Write(data, size);
    if (!err)
      err = grouped ? file.CommitUnsynced(posix::AtomicFile::Replace::kNever)
                    : file.Commit(posix::AtomicFile::Replace::kNever);
    if (err == EEXIST) continue;  // on disk but in no entry: swept later, never reused
    if (err) return err;
    if (grouped) {
      NoteGroupFolder(t_group, root + "/" + folder);
      t_group.files.push_back(root + "/" + candidate);
      t_group.bytes += size;
    }
    next = n + 1;
    *relative = std::move(candidate);
    return 0;
  }
  return EEXIST;
}

bool InWriteGroup() { return t_group.depth > 0; }
void EnterWriteGroup() { ++t_group.depth; }

void AddedInGroup(const std::string& root) {
  WriteGroup& g = t_group;
  NoteGroupFolder(g, root);
  g.indexes.insert(root + "/index");
  // A bounded batch. The entry itself is made; a failed sync is the group's to report.
  if (g.files.size() >= kGroupMaxFiles || g.bytes >= kGroupMaxBytes) {
    int err = SyncGroup(g);
    if (err && !g.error) g.error = err;
  }
}

int SyncWriteGroup() {
  WriteGroup& g = t_group;
  int err = SyncGroup(g);
  if (g.error) err = std::exchange(g.error, 0);
  return err;
}

void LeaveWriteGroup() {
  WriteGroup& g = t_group;
  if (--g.depth > 0) return;
  // Nothing is held between groups.
  g.lockFd.Reset(-1);
  g.indexFd.Reset(-1);
  g.root.clear();
}

}  // namespace trovex::urlcache

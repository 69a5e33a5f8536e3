// Replacing a file as a whole: the new content goes to a temporary file beside the target,
// is synced, and is renamed over the target, so readers and a crash see either the old file
// or the complete new one, never a half-written file. The temporary never outlives a
// failure. Also the matching reader for files that strangers may replace: regular files only,
// never blocking, with a size limit. Results are 0 or an errno.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "platform/fs/posix_io.h"

namespace trovex::posix {

class AtomicFile {
 public:
  enum class Replace { kAlways, kNever };
  // kUnnamed: where the file system offers it, the temporary has no name until Commit, so a
  // process killed meanwhile leaves nothing behind; elsewhere (and with kNamed) it is a hidden
  // ".NAME.<12 hex>.part" beside the target, locked (flock) while it is written, which
  // SweepStaleTemporaries recognises once its writer is gone.
  enum class Temporary { kNamed, kUnnamed };

  AtomicFile() = default;
  // Removes the temporary unless Commit succeeded.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary in the target's folder. A target that is a symbolic link (or a chain
  // of them) to a plain file stays one: the file it leads to is replaced, and made where it
  // points when it does not exist yet (ELOOP for a loop, ENOENT when its folder is missing). A
  // link to anything else (a device, a FIFO) is replaced itself. An existing target's
  // permission bits are given to it (so a replacement keeps the mode); a new file gets
  // `newMode` minus the umask.
  // The folder's errors are reported as they are (EACCES, ENOENT, EROFS...).
  int Open(const std::string& target, mode_t newMode = 0666,
           Temporary temporary = Temporary::kNamed);

  int fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& target() const { return target_; }
  // The file that is replaced: the target, or where its links lead.
  const std::string& file() const { return file_; }
  // Empty while the temporary is unnamed.
  const std::string& tempPath() const { return temp_; }

  // Appends to the temporary (all of it, again after interruptions and short writes).
  int Write(const void* data, std::size_t size);

  // fsync, close and rename over the target, then sync the folder. kNever fails with EEXIST
  // when the target exists by then, and never replaces it. On failure the temporary is gone
  // and the target is untouched. A target that is a folder gives EISDIR.
  int Commit(Replace replace = Replace::kAlways);
  // The next name to claim after `taken` was found taken; empty: give up (EEXIST).
  using NextName = std::function<std::string(const std::string& taken)>;
  // Commit with kNever that claims a free name: while the name is taken, `next` proposes
  // another. The temporary is kept between tries; file() and target() name where it went.
  int CommitClaiming(const NextName& next);
  // The same rename without either sync, for a caller that syncs a group of files together
  // afterwards (one wait for the disk instead of two a file).
  int CommitUnsynced(Replace replace);

  // Drops the temporary; the target is untouched.
  void Abort();

 private:
  int LinkAs(const std::string& path);
  int GiveName();

  int Finish(Replace replace, bool sync, const NextName* next = nullptr);
  // Places the synced temporary under file_ without replacing anything.
  int PlaceNew();
  int fd_ = -1;
  bool unnamed_ = false;
  std::string target_;
  std::string file_;
  std::string temp_;
};

// Removes the temporaries of AtomicFile writers that died in `folder`: hidden files named
// ".NAME.<12 hex>.part" that no live writer holds locked and that have not changed for
// `minAge`. Returns how many went. Anything else in the folder is left alone.
int SweepStaleTemporaries(const std::string& folder,
                          std::chrono::seconds minAge = std::chrono::seconds(10));

// The file AtomicFile replaces for `path`: where its symbolic links lead when they lead to a
// plain file or to nothing yet, else `path` itself.
std::string LinkedFile(const std::string& path);

// Replaces `target` with `size` bytes of `data` in one step.
int ReplaceFileContents(const std::string& target, const void* data, std::size_t size,
                        mode_t newMode = 0600);

// Reads a whole file that someone else may have put there: refuses anything but a regular
// file (EINVAL for a FIFO, a device, EISDIR for a folder, EPERM for /proc and /sys; symbolic
// links are followed to a regular file),
// never waits on a FIFO without a writer, and stops with EFBIG past `maxBytes`. ENOENT when
// there is no file. When `stamp` is given it receives what fstat saw, for change checks.
int ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* out,
                    FileStamp* stamp = nullptr);

}  // namespace trovex::posix

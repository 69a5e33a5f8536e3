// Small POSIX file helpers shared by the layers that keep files of their own (the file
// functions, the registry's hive files, the URL cache). No dependencies, so every layer may use
// them. Functions that can fail return 0 or an errno.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <string>
#include <utility>

namespace trovex::posix {

// Owns a file descriptor and closes it on every path.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  int get() const { return fd_; }
  void Reset(int fd);
  // Closes now: 0 or the errno of close() (a deferred write error shows here).
  int Close();

 private:
  int fd_;
};

// One read(), again after an interruption: bytes read (0 at the end), or -1 with errno set.
ssize_t ReadSome(int fd, void* buffer, std::size_t size);
// Writes all of `data`, again after an interruption or a short write.
int WriteAll(int fd, const void* data, std::size_t size);
// Appends what is left up to the end of the file to *out.
int ReadAll(int fd, std::string* out);

// Opens a file for reading only when it is a plain file of an ordinary file system: a FIFO,
// a device, a socket or a folder (also at the end of a symbolic link) gives EINVAL (EISDIR for
// a folder) without waiting, and the generated files of /proc and /sys give EPERM. *st
// receives what fstat saw.
int OpenRegularFile(const std::string& path, Fd* out, struct stat* st);

// Gives the file open as `fd` the name `path` too (an unnamed temporary its first): 0, or the
// errno; EEXIST when the name is taken, which is never replaced.
int LinkDescriptor(int fd, const std::string& path);

// Makes a rename or a new file in `dir` durable. Failures are ignored: some file systems refuse
// fsync on folders, and the rename itself is atomic all the same.
void SyncFolder(const std::string& dir);

// mkdir -p; the folders made are private (0700). ENOTDIR when something else is in the way.
int MakeFolders(const std::string& dir);

// Which file a path names, and how it was last written: two equal stamps mean no writer
// replaced or changed the file in between.
struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  timespec ctime{};
  static FileStamp Of(const struct stat& st);
  bool operator==(const FileStamp& o) const;
};

// $HOME, else the user's home from the password database, else "/".
std::string HomeFolder();
// An XDG base folder: the variable when it holds an absolute path, else $HOME/fallbackBelowHome.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome);

}  // namespace trovex::posix

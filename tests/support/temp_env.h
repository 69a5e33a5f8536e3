// Test helpers: a temporary folder that removes itself, and environment variables that are
// restored when the scope ends. Tests point HOME and the XDG folders at such a folder so that
// nothing touches the real user's cache or settings.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace trovex::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // Writes a file (creating parent folders) and returns its full path.
  std::string WriteFile(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void Set(const std::string& name, const std::string& value);
  void Unset(const std::string& name);

 private:
  void Remember(const std::string& name);
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The process locale switched to the first of `names` that is installed, restored when the
// scope ends; ok() is false (and nothing changed) when none is.
class LocaleSwitch {
 public:
  explicit LocaleSwitch(std::initializer_list<const char*> names);
  ~LocaleSwitch();
  LocaleSwitch(const LocaleSwitch&) = delete;
  LocaleSwitch& operator=(const LocaleSwitch&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_ = false;
};

// HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CACHE_HOME all inside one temporary folder.
class IsolatedHome {
 public:
  IsolatedHome();
  const TempDir& dir() const { return dir_; }
  std::string config() const { return dir_.str() + "/config"; }
  std::string data() const { return dir_.str() + "/data"; }
  std::string cache() const { return dir_.str() + "/cache"; }

 private:
  TempDir dir_;
  ScopedEnv env_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// A device that reads zeros and never ends, for tests that plant links to one. As root it is a
// node of our own in `folder`, so a fault that writes through such a link replaces that node,
// never the machine's /dev/zero; otherwise (or where nodes cannot be made or opened) /dev/zero,
// which only root could replace.
std::string ZeroDevice(const std::filesystem::path& folder);


}  // namespace trovex::test

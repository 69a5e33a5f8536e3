#include "tests/support/temp_env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace trovex::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "trovex-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable so removal succeeds.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    // Never through a link: a test's link to /dev/zero would give the device owner execute
    // rights when the tests run as root.
    if (it->is_symlink(ec)) continue;
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::WriteFile(const std::string& relative, const std::string& content) const {
  std::filesystem::path p = path_ / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << content;
  return p.string();
}

ScopedEnv::~ScopedEnv() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second)
      setenv(it->first.c_str(), it->second->c_str(), 1);
    else
      unsetenv(it->first.c_str());
  }
}

void ScopedEnv::Remember(const std::string& name) {
  const char* old = std::getenv(name.c_str());
  saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
}

void ScopedEnv::Set(const std::string& name, const std::string& value) {
  Remember(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::Unset(const std::string& name) {
  Remember(name);
  unsetenv(name.c_str());
}

LocaleSwitch::LocaleSwitch(std::initializer_list<const char*> names) {
  const char* current = std::setlocale(LC_ALL, nullptr);
  saved_ = current ? current : "C";
  for (const char* name : names)
    if (std::setlocale(LC_ALL, name)) {
      ok_ = true;
      return;
    }
}

LocaleSwitch::~LocaleSwitch() {
  if (ok_) std::setlocale(LC_ALL, saved_.c_str());
}

IsolatedHome::IsolatedHome() {
  env_.Set("HOME", dir_.str());
  env_.Set("XDG_CONFIG_HOME", config());
  env_.Set("XDG_DATA_HOME", data());
  env_.Set("XDG_CACHE_HOME", cache());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ZeroDevice(const std::filesystem::path& folder) {
  if (::geteuid() != 0) return "/dev/zero";
  const std::string node = (folder / "zero-device").string();
  struct stat st{};
  if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0 &&
      !(errno == EEXIST && ::lstat(node.c_str(), &st) == 0 && S_ISCHR(st.st_mode)))
    return "/dev/zero";
  int fd = ::open(node.c_str(), O_RDONLY);  // a nodev mount or a device rule may refuse it
  char byte = 1;
  bool works = fd >= 0 && ::read(fd, &byte, 1) == 1 && byte == 0;
  if (fd >= 0) ::close(fd);
  if (works) return node;
  ::unlink(node.c_str());
  return "/dev/zero";
}

}  // namespace trovex::test

#include "module/module.h"

#include <dlfcn.h>

#include "module/app.h"

namespace trovex {
namespace {

std::string LoadedFilePath() {
  Dl_info info{};
  // Any address inside this module names the file it came from.
  if (::dladdr(reinterpret_cast<void*>(&GetModuleFilePath), &info) == 0 || !info.dli_fname)
    return std::string();
  return info.dli_fname;
}

}  // namespace

const std::string& GetModuleFilePath() {
  static const std::string path = LoadedFilePath();
  return path;
}

std::string ModuleDirectoryOf(const std::string& strPath) {
  std::string::size_type slash = strPath.rfind('/');
  return slash == std::string::npos ? std::string() : strPath.substr(0, slash);
}

const std::string& GetModuleDirectory() {
  static const std::string directory = ModuleDirectoryOf(GetModuleFilePath());
  return directory;
}

void AfxOleLockApp() { AfxGetModuleApp().LockServer(true); }
void AfxOleUnlockApp() { AfxGetModuleApp().LockServer(false); }
LONG AfxOleLockCount() { return AfxGetModuleApp().GetLockCount(); }

}  // namespace trovex

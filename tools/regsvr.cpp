// trovex-regsvr [/u] MODULE: loads an in-process server module and calls its register (or, with
// /u, unregister) entry point. Exit 0 on success; 1 when the call failed; 2 for bad usage; 3 when
// the module cannot be loaded; 4 when it lacks the entry point.
#include <sys/stat.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/com/activation.h"
#include "platform/text/res_text.h"
#include "platform/text/text.h"

namespace {

constexpr const char* kUsage =
    "usage: trovex-regsvr [/u] MODULE\n"
    "       trovex-regsvr --version\n"
    "  registers the in-process server MODULE (a shared library), or unregisters it with /u\n";

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  // The module records its own path in the keys; make it absolute so they stay valid.
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out = real;
  std::free(real);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  trovex::SetUpProgramLocale();
  bool unregister = false;
  std::string module;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "/u" || arg == "/U" || arg == "-u" || arg == "--unregister") {
      unregister = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      return trovex::PrintProgramVersion("trovex-regsvr");
    } else if (!module.empty() || arg.empty()) {
      std::fprintf(stderr, "trovex-regsvr: exactly one module is expected\n%s", kUsage);
      return 2;
    } else {
      module = arg;
    }
  }
  if (module.empty()) {
    std::fprintf(stderr, "trovex-regsvr: no module given\n%s", kUsage);
    return 2;
  }

  struct stat st{};
  if (::stat(module.c_str(), &st) != 0) {
    std::fprintf(stderr, "trovex-regsvr: %s: %s\n", module.c_str(), std::strerror(errno));
    return 3;
  }
  if (!S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "trovex-regsvr: %s: not a regular file\n", module.c_str());
    return 3;
  }
  std::string path = Absolute(module);
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const trovex::ServerEntryCall call = trovex::CallServerEntry(path, unregister);
  if (call.step == trovex::ServerEntryCall::kNotLoaded) {
    std::fprintf(stderr, "trovex-regsvr: cannot load %s: %s\n", path.c_str(),
                 call.strWhy.empty() ? "unknown error" : call.strWhy.c_str());
    return 3;
  }
  if (call.step == trovex::ServerEntryCall::kNoEntryPoint) {
    std::fprintf(stderr, "trovex-regsvr: %s has no %s entry point: not an in-process server\n",
                 path.c_str(), entry);
    return 4;
  }
  const trovex::HRESULT hr = call.hr;
  if (trovex::FAILED(hr)) {
    std::fprintf(stderr, "trovex-regsvr: %s of %s failed: %s%s\n", entry, path.c_str(),
                 trovex::HResultText(hr).c_str(),
                 hr == trovex::REGDB_E_CLASSNOTREG || hr == trovex::REGDB_E_IIDNOTREG
                     ? " (the module's class is not registered)"
                     : hr == trovex::SELFREG_E_CLASS ? " (the registry could not be written)" : "");
    return 1;
  }
  std::printf("%s: %s succeeded\n", path.c_str(), entry);
  return 0;
}

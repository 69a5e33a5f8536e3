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
#include "res/strings.h"

namespace {

void Report(const std::string& line) {
  std::fputs(trovex::FormatResString(trovex::IDS_TROVEX_REGSVR_LINE, line.c_str()).c_str(), stderr);
}

int Usage(unsigned problem) {
  Report(trovex::LoadResString(problem));
  std::fputs(trovex::LoadResString(trovex::IDS_TROVEX_REGSVR_USAGE).c_str(), stderr);
  return 2;
}

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
      std::fputs(trovex::LoadResString(trovex::IDS_TROVEX_REGSVR_USAGE).c_str(), stdout);
      return 0;
    } else if (arg == "--version") {
      return trovex::PrintProgramVersion("trovex-regsvr");
    } else if (!module.empty() || arg.empty()) {
      return Usage(trovex::IDS_TROVEX_REGSVR_ONE_MODULE);
    } else {
      module = arg;
    }
  }
  if (module.empty()) return Usage(trovex::IDS_TROVEX_REGSVR_NO_MODULE);

  struct stat st{};
  if (::stat(module.c_str(), &st) != 0) {
    Report(trovex::FormatResString(trovex::IDS_TROVEX_REGSVR_PATH_PROBLEM, module.c_str(), std::strerror(errno)));
    return 3;
  }
  if (!S_ISREG(st.st_mode)) {
    Report(trovex::FormatResString(trovex::IDS_TROVEX_REGSVR_NOT_A_FILE, module.c_str()));
    return 3;
  }
  std::string path = Absolute(module);
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const trovex::ServerEntryCall call = trovex::CallServerEntry(path, unregister);
  if (call.step == trovex::ServerEntryCall::kNotLoaded) {
    Report(trovex::FormatResString(trovex::IDS_TROVEX_COM_MODULE_NOT_LOADED, path.c_str(), call.strWhy.c_str()));
    return 3;
  }
  if (call.step == trovex::ServerEntryCall::kNoEntryPoint) {
    Report(trovex::FormatResString(trovex::IDS_TROVEX_REGSVR_NO_ENTRY, path.c_str(), entry));
    return 4;
  }
  const trovex::HRESULT hr = call.hr;
  if (trovex::FAILED(hr)) {
    const unsigned why = hr == trovex::REGDB_E_CLASSNOTREG || hr == trovex::REGDB_E_IIDNOTREG
                             ? trovex::IDS_TROVEX_REGSVR_CLASS_NOT_REGISTERED
                             : hr == trovex::SELFREG_E_CLASS ? trovex::IDS_TROVEX_REGSVR_REGISTRY_NOT_WRITTEN : 0;
    Report(trovex::FormatResString(trovex::IDS_TROVEX_REGSVR_FAILED, path.c_str(), trovex::HResultText(hr).c_str(),
                                   why ? trovex::LoadResString(why).c_str() : ""));
    return 1;
  }
  std::puts(trovex::FormatResString(unregister ? trovex::IDS_TROVEX_REGSVR_UNREGISTERED : trovex::IDS_TROVEX_REGSVR_REGISTERED,
                                   path.c_str()).c_str());
  return 0;
}

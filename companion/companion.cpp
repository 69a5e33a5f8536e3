#include "companion/companion.h"

#include <sys/stat.h>
#include <unistd.h>

#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell_execute.h"
#include "res/strings.h"
#include "settings/registry_key.h"

namespace trovex {

namespace {

struct CompanionInfo {
  const char* pszKey;         // below HKEY_LOCAL_MACHINE
  const char* pszExecutable;  // the fixed file name, kept even where programs carry no suffix
  unsigned nCannotStart;      // message when it cannot be started
};

constexpr const char* kInstallPathValue = "Install Path";
constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;


const CompanionInfo& InfoOf(Companion companion) {
  static const CompanionInfo kZalmic{"Software\\Marrowick\\Kelvora SWF Zalmic\\", "SWFZalmic.exe",
                                     IDS_CANNOT_START_ZALMIC};
  static const CompanionInfo kOrdavin{"Software\\Marrowick\\Kelvora SWF Ordavin\\",
                                      "SWFOrdavin.exe", IDS_CANNOT_START_ORDAVIN};
  return companion == Companion::Zalmic ? kZalmic : kOrdavin;
}

// Folder and name meet at exactly one separator; an empty folder leaves the bare name, which
// is then looked for in the current folder.
std::string ExecutablePath(std::string strInstallPath, const char* pszExecutable) {
  const char separator = PathSeparator(kNativePathStyle);
  if (!strInstallPath.empty() && strInstallPath.back() != separator)
    strInstallPath.push_back(separator);
  return strInstallPath + pszExecutable;
}

BOOL ReadExecutablePath(const CompanionInfo& info, std::string& strPath) {
  CRegistry reg;
  if (!reg.Open(HKEY_LOCAL_MACHINE, info.pszKey, KEY_READ)) return FALSE;
  std::string strInstallPath;
  if (!reg.ReadString(kInstallPathValue, strInstallPath)) return FALSE;
  strPath = ExecutablePath(strInstallPath, info.pszExecutable);
  return TRUE;
}

BOOL RecordInstallPath(const CompanionInfo& info, const std::string& strFolder) {
  CRegistry reg;
  reg.Create(HKEY_LOCAL_MACHINE, info.pszKey);  // the open below tells whether it worked
  return reg.Open(HKEY_LOCAL_MACHINE, info.pszKey, kReadWrite) &&
         reg.WriteString(kInstallPathValue, strFolder);
}

// A companion here is an executable file of that name; anything else could not be started.
bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool ChooseExecutable(std::string& strPath) {
  wxString filter = ResStringToWx(IDS_EXE_FILTER);
  while (filter.EndsWith("|")) filter.RemoveLast();
  // Programs here seldom carry a suffix, so every file stays selectable.
  if (!filter.empty()) filter += "|";
  filter += ResStringToWx(IDS_TROVEX_ALL_FILES_FILTER);
  ChosenPathDialog dlg(nullptr, ResStringToWx(IDS_TROVEX_OPEN_TITLE), wxString(), wxString(), filter,
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dlg.ShowModal() != wxID_OK) return false;
  strPath = FromWx(dlg.ChosenPath());
  return !strPath.empty();
}

}  // namespace

BOOL IsCompanionInstalled(Companion companion) {
  std::string strPath;
  return ReadExecutablePath(InfoOf(companion), strPath) && IsExecutableFile(strPath);
}

BOOL StartProgram(const std::string& strExecutable, const char* pszArguments) {
  if (!PathFileExistsA(strExecutable.c_str())) return FALSE;
  return ShellExecuteA(nullptr, nullptr, strExecutable.c_str(), pszArguments, nullptr,
                       SW_SHOWNORMAL) > 32;
}

BOOL LaunchCompanion(Companion companion, const char* pszArguments) {
  const CompanionInfo& info = InfoOf(companion);
  BOOL bLocated = FALSE;
  for (;;) {
    std::string strPath;
    if (ReadExecutablePath(info, strPath) && StartProgram(strPath, pszArguments)) return TRUE;
    if (bLocated) break;
    AppMessageBoxRes(nullptr, IDS_LOCATE_COMPANION, MB_OK);
    std::string strChosen;
    if (!ChooseExecutable(strChosen)) return FALSE;
    // Only the folder counts: the retry looks for the fixed name in it.
    if (!RecordInstallPath(info, PathRemoveFileSpec(strChosen))) break;
    bLocated = TRUE;
  }
  AppMessageBoxRes(nullptr, info.nCannotStart, MB_OK | MB_ICONERROR);
  return FALSE;
}

}  // namespace trovex

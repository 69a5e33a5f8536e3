// The file-already-exists dialog (template 1009): shows the file that would be written and the
// one that is in the way, and returns how to settle the clash.
#pragma once

#include <functional>
#include <string>

// Before any toolkit header: the toolkit defines TRUE and FALSE as macros.
#include "platform/base/types.h"
#include "framework/dialog.h"
#include "save_engine/target_naming.h"

#include <wx/string.h>

class wxBitmap;
class wxWindow;

namespace trovex {

// Control ids of dialog 1009.
constexpr int IDC_FE_MESSAGE = 1029;
constexpr int IDC_FE_SOURCE_ICON = 1023;
constexpr int IDC_FE_EXISTING_ICON = 1024;
constexpr int IDC_FE_SOURCE_SIZE = 1025;
constexpr int IDC_FE_SOURCE_DATE = 1026;
constexpr int IDC_FE_EXISTING_SIZE = 1027;
constexpr int IDC_FE_EXISTING_DATE = 1028;
constexpr int IDC_FE_APPLY_TO_ALL = 1022;
constexpr int IDC_FE_AUTO_RENAME = 1019;
constexpr int IDC_FE_RENAME = 1020;
constexpr int IDC_FE_OVERWRITE = 1021;
constexpr int IDC_FE_SKIP = 1030;

class CDlgFileExists : public CDialog {
 public:
  // No owner is given: the dialog places itself over the active window (the Save dialog).
  CDlgFileExists();

  std::string strNewPath;       // Rename: the path chosen in the save-file dialog
  std::string strExistingPath;  // the target that exists
  std::string strSourcePath;    // the local copy to be copied; empty for a download
  int bApplyToAll = FALSE;

 protected:
  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;      // Enter goes to the default button instead
  void OnCancel() override;  // Escape and the close box: Skip

 private:
  void OnAutoRename(wxCommandEvent& event);
  void OnRename(wxCommandEvent& event);
  void OnOverwrite(wxCommandEvent& event);
  void OnSkip(wxCommandEvent& event);
  void OnApplyToAll(wxCommandEvent& event);
  void EndWith(int nResult);
  void ShowFile(const std::string& path, int iconId, int sizeId, int dateId);

  wxDECLARE_EVENT_TABLE();
};

// Shows the dialog for a clash, modal over the window in front (the Save dialog during a run),
// and returns its answer.
FileExistsAnswer AskFileExists(const std::string& strExistingPath, const std::string& strSourcePath);

// SettleTargetConflict with the dialog as its prompt.
BOOL SettleTargetConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                          ConflictMemory& memory);

// The clash message before + name + after, in lines no wider than nWidth as measure tells
// (lines end in '\n'). Lines break between any two characters, after a space or hyphen when one
// is near; when more than nMaxLines lines would be needed, the middle of the name gives way to
// "…" so that the start and end of the name and the whole sentence stay readable.
wxString FitNameMessage(const wxString& before, const wxString& name, const wxString& after,
                        int nWidth, int nMaxLines,
                        const std::function<int(const wxString&)>& measure);

}  // namespace trovex

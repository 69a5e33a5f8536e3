#include "dialogs/dlg_settings.h"

#include "dialogs/browse_folder.h"
#include "settings/profile.h"

namespace trovex {

wxBEGIN_EVENT_TABLE(CDlgSettings, CDialog)
  EVT_RADIOBUTTON(IDC_DIR_LAST, CDlgSettings::OnDirLast)
  EVT_RADIOBUTTON(IDC_DIR_SPECIFIED, CDlgSettings::OnDirSpecified)
  EVT_BUTTON(IDC_DIR_BROWSE, CDlgSettings::OnBrowse)
wxEND_EVENT_TABLE()

CDlgSettings::CDlgSettings(wxWindow* pParentWnd)
    : CDialog(IDD_SETTINGS, pParentWnd),
      nConflictAction(static_cast<int>(ReadConflictAction())),
      nDirChoice(static_cast<int>(ReadDirChoice())),
      strDefaultDir(ReadDefaultSaveDir()),
      bSaveMovieFiles(static_cast<int>(ReadSaveMovieFiles())) {}

void CDlgSettings::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_DIR_EDIT, strDefaultDir);
  DDV_MaxChars(dx, strDefaultDir, kMaxDefaultDirChars);
  DDX_Radio(dx, IDC_DIR_LAST, nDirChoice);
  DDX_Radio(dx, IDC_CONFLICT_RENAME, nConflictAction);
  DDX_Check(dx, IDC_SAVE_MOVIE_FILES, bSaveMovieFiles);
}

bool CDlgSettings::OnInitDialog() {
  CDialog::OnInitDialog();
  EnableDlgItem(IDC_DIR_EDIT, nDirChoice == 1);
  return true;
}

void CDlgSettings::OnOK() {
  // A failed validation must not leave half-exchanged members behind: Cancel afterwards
  // promises the values last accepted.
  const int nOldConflictAction = nConflictAction;
  const int nOldDirChoice = nDirChoice;
  const std::string strOldDefaultDir = strDefaultDir;
  const int bOldSaveMovieFiles = bSaveMovieFiles;
  if (!UpdateData(true)) {
    bSaveMovieFiles = bOldSaveMovieFiles;
    nConflictAction = nOldConflictAction;
    nDirChoice = nOldDirChoice;
    strDefaultDir = strOldDefaultDir;
    return;
  }
  CProfileStore& profile = AppProfile();
  profile.WriteProfileInt(kSectionTrovex, kValueDirChoice, nDirChoice);
  if (nDirChoice == 1) profile.WriteProfileString(kSectionTrovex, kValueDefaultDir, GetDlgItemText(IDC_DIR_EDIT));
  profile.WriteProfileInt(kSectionTrovex, kValueConflictAction, nConflictAction);
  profile.WriteProfileInt(kSectionTrovex, kValueSaveMovieFiles, bSaveMovieFiles);
  EndDialog(IDOK);
}

void CDlgSettings::OnDirLast(wxCommandEvent&) { EnableDlgItem(IDC_DIR_EDIT, false); }

void CDlgSettings::OnDirSpecified(wxCommandEvent&) { EnableDlgItem(IDC_DIR_EDIT, true); }

void CDlgSettings::OnBrowse(wxCommandEvent&) { BrowseFolderInto(*this, IDC_DIR_EDIT); }

}  // namespace trovex

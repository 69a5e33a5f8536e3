#include "dialogs/dlg_new_folder.h"

#include <wx/textctrl.h>

#include "framework/message_box.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "res/strings.h"

namespace trovex {

namespace {
}

bool FolderNameHasForbiddenChar(const std::string& name) {
  return MbFindOneOf(name, "\\/:*?\"<>|") != std::string::npos;
}

wxBEGIN_EVENT_TABLE(CDlgNewFolder, CDialog)
  EVT_TEXT(IDC_NF_NAME, CDlgNewFolder::OnNameChanged)
wxEND_EVENT_TABLE()

CDlgNewFolder::CDlgNewFolder() : CDialog(IDD_NEW_FOLDER, nullptr) {}

void CDlgNewFolder::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_NF_CURRENT_DIR, strCurrentDir);
  // Shown read-only: a deep folder's path is no input to refuse (only typed text is limited).
  if (!dx.bSaveAndValidate) DDV_MaxChars(dx, strCurrentDir, kMaxFolderNameChars);
  DDX_Text(dx, IDC_NF_NAME, strName);
  DDV_MaxChars(dx, strName, kMaxFolderNameChars);
}

bool CDlgNewFolder::OnInitDialog() {
  CDialog::OnInitDialog();
  EnableDlgItem(IDOK, false);
  return true;
}

void CDlgNewFolder::OnNameChanged(wxCommandEvent&) {
  std::string name = GetDlgItemText(IDC_NF_NAME);
  MbTrim(name, kWhiteSpace);
  EnableDlgItem(IDOK, !name.empty());
}

void CDlgNewFolder::OnOK() {
  const std::string oldDir = strCurrentDir, oldName = strName;
  if (!UpdateData(true)) {
    strCurrentDir = oldDir;
    strName = oldName;
    return;
  }
  MbTrim(strName, kWhiteSpace);
  if (strName.empty()) return;  // only white space: nothing to create
  if (FolderNameHasForbiddenChar(strName)) {
    AppMessageBoxRes(GetWindow(), IDS_BAD_FOLDER_NAME, MB_OK);
    return;
  }
  EndDialog(IDOK);
}

}  // namespace trovex

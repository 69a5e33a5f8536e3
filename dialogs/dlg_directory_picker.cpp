#include "dialogs/dlg_directory_picker.h"

#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "platform/text/system_message.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "res/strings.h"
#include "dialogs/target_directory.h"
#include "save_engine/target_naming.h"
#include "dialogs/dlg_new_folder.h"
#include "shelltree/shell_tree.h"

namespace trovex {

namespace {

std::string Trimmed(std::string s) {
  MbTrim(s, kWhiteSpace);
  return s;
}
}  // namespace

wxBEGIN_EVENT_TABLE(CDlgDirectoryPicker, CDialog)
  EVT_BUTTON(IDC_PICKER_GO, CDlgDirectoryPicker::OnGo)
  EVT_BUTTON(IDC_PICKER_NEW_FOLDER, CDlgDirectoryPicker::OnNewFolder)
  EVT_TEXT(IDC_PICKER_PATH, CDlgDirectoryPicker::OnPathChanged)
  EVT_TREE_SEL_CHANGED(IDC_PICKER_TREE, CDlgDirectoryPicker::OnSelectionChanged)
  EVT_TREE_KEY_DOWN(IDC_PICKER_TREE, CDlgDirectoryPicker::OnTreeKeyDown)
wxEND_EVENT_TABLE()

CDlgDirectoryPicker::CDlgDirectoryPicker() : CDialog(IDD_DIRECTORY_PICKER, nullptr) {}

// Enter in the folder tree presses the default button, as it does in the rest of the dialog
// (the tree has no use of its own for it here: no label editing).
void CDlgDirectoryPicker::OnTreeKeyDown(wxTreeEvent& event) {
  const wxKeyEvent& key = event.GetKeyEvent();
  if ((key.GetKeyCode() == WXK_RETURN || key.GetKeyCode() == WXK_NUMPAD_ENTER) &&
      !key.HasAnyModifiers()) {
    if (wxWindow* ok = GetDlgItem(IDOK); ok && ok->IsEnabled()) ClickDlgButton(IDOK);
    return;
  }
  event.Skip();
}

BOOL CDlgDirectoryPicker::SetPath(const std::string& path) {
  strPath = path;
  if (GetWindow() && pTree) return pTree->SelectPath(path).IsOk();
  return TRUE;
}

wxWindow* CDlgDirectoryPicker::CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) {
  if (ct.nId != IDC_PICKER_TREE) return CDialog::CreateControl(ct, parent, rect);
  long style = wxTR_SINGLE | wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT;
  if (ct.style & TS_BORDER) style |= wxBORDER_THEME;
  if (!(ct.style & TS_HASLINES)) style |= wxTR_NO_LINES;
  return new CShellTree(parent, ct.nId, rect.GetPosition(), rect.GetSize(), style);
}

void CDlgDirectoryPicker::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  pTree = dynamic_cast<CShellTree*>(dx.PrepareCtrl(IDC_PICKER_TREE));
}

bool CDlgDirectoryPicker::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!pTree) return true;
  pTree->EnableImages();
  bInitializing = TRUE;
  pTree->PopulateTree();
  bInitializing = FALSE;
  if (strPath.empty()) pTree->GetSelectedFolderPath(strPath);
  // The edit is filled from the selection only: a path that is not found leaves it empty.
  wxTreeItemId item = pTree->SelectPath(strPath);
  if (item.IsOk()) ShowSelection();
  return true;
}

void CDlgDirectoryPicker::OnSelectionChanged(wxTreeEvent& event) {
  event.Skip();
  if (bInitializing || !pTree) return;
  ShowSelection();
}

void CDlgDirectoryPicker::ShowSelection() {
  std::string path;
  if (pTree->GetSelectedFolderPath(path) && !path.empty()) {
    SetDlgItemText(IDC_PICKER_PATH, path);
    strPath = Trimmed(path);
    EnableDlgItem(IDOK, true);
    EnableDlgItem(IDC_PICKER_NEW_FOLDER, true);
  } else {
    EnableDlgItem(IDOK, false);
    EnableDlgItem(IDC_PICKER_NEW_FOLDER, false);
  }
}

void CDlgDirectoryPicker::OnPathChanged(wxCommandEvent&) {
  strPath = Trimmed(GetDlgItemText(IDC_PICKER_PATH));
  EnableDlgItem(IDOK, IsValidTargetPath(strPath));
}

void CDlgDirectoryPicker::OnGo(wxCommandEvent&) {
  if (pTree) pTree->SelectPath(GetDlgItemText(IDC_PICKER_PATH));
}

void CDlgDirectoryPicker::OnOK() {
  strPath = Trimmed(GetDlgItemText(IDC_PICKER_PATH));
  if (!PathIsRootA(strPath.c_str()) && !PathIsDirectoryA(strPath.c_str())) {
    if (!EnsureTargetDirectory(strPath, TRUE, GetWindow())) return;
  }
  EndDialog(IDOK);
}

void CDlgDirectoryPicker::OnCancel() {
  strPath.clear();
  EndDialog(IDCANCEL);
}

void CDlgDirectoryPicker::OnNewFolder(wxCommandEvent&) {
  if (!pTree) return;
  CDlgNewFolder dlg;
  if (!pTree->GetSelectedFolderPath(dlg.strCurrentDir)) return;
  if (dlg.DoModal() != IDOK) return;
  std::string path = dlg.strCurrentDir;
  const char sep = PathSeparator(kNativePathStyle);
  if (path.empty() || path.back() != sep) path.push_back(sep);
  path += dlg.strName;
  if (!CreateDirectoryA(path.c_str(), nullptr)) {
    char text[256] = {};
    FormatSystemError(text, 255);
    AppMessageBoxRes(GetWindow(), IDS_CREATE_DIR_FAILED, MB_OK | MB_ICONERROR, text);
    return;
  }
  pTree->SelectPath(path);
}

}  // namespace trovex

// The preview half of the Save dialog: an empty area that follows the selection. The player
// control takes the place of the panel re-created here.
#include <wx/panel.h>

#include "platform/fs/fs.h"
#include "ui/dlg_save.h"

namespace trovex {

bool CDlgSave::ResetPreview() {
  wxWindow* dialog = GetWindow();
  if (!dialog) return false;
  wxRect rect = MapDialogRect(wxRect(199, 23, 180, 149));
  if (flashCtrl) {
    RemoveAnchor(flashCtrl);
    rect = flashCtrl->GetRect();
    flashCtrl->Hide();
    flashCtrl->Destroy();
    flashCtrl = nullptr;
  }
  strPreviewMovie.clear();
  auto* panel = new wxPanel(dialog, IDC_SAVE_PREVIEW_WINDOW, rect.GetPosition(), rect.GetSize(),
                            wxBORDER_THEME);
  flashCtrl = panel;
  AnchorControl(panel, TOP_CENTER, BOTTOM_RIGHT);
  return true;
}

void CDlgSave::OnItemChanged() {
  if (bSaving || !listCtrl) return;
  if (listCtrl->GetSelectedItemCount() != 1) {
    if (nPreviewItem != -1) {
      ResetPreview();
      nPreviewItem = -1;
    }
    return;
  }
  const long row = listCtrl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row == nPreviewItem) return;
  if (!ResetPreview()) return;
  nPreviewItem = static_cast<int>(row);
  const SWFFileInfo& info = RowRecord(nPreviewItem);
  if (!info.strLocalFile.empty())
    strPreviewMovie = info.strLocalFile;
  else if (info.bSaved && PathFileExistsA(info.strSavedPath.c_str()))
    strPreviewMovie = info.strSavedPath;
  else
    strPreviewMovie = info.strURL;
}

void CDlgSave::OnSize(wxSizeEvent& event) {
  CResizableDialog::OnSize(event);
  if (flashCtrl) flashCtrl->Refresh();
}

}  // namespace trovex

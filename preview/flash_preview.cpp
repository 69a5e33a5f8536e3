#include "preview/flash_preview.h"

#include <wx/listctrl.h>

#include "platform/fs/fs.h"
#include "preview/flash_properties.h"
#include "preview/shockwave_flash.h"
#include "res/dialog_init.h"

namespace trovex {

CShockwaveFlash* CreateTemplatePreview(const PreviewSetup& setup, wxWindow* parent, int dialogId, int ctrlId,
                                       const wxRect& rect) {
  std::optional<FlashProperties> props;
  if (auto item = FindDialogInitItem(dialogId, ctrlId); item && item->nMessage == WM_OCC_INITNEW_STREAM) {
    props = ParseFlashInitData(item->data);
  }
  CShockwaveFlash* ctrl = setup.NewControl();
  if (!ctrl) return nullptr;
  if (!ctrl->Create("", WS_CHILD | WS_VISIBLE, rect, parent, static_cast<UINT>(ctrlId), props ? &*props : nullptr)) {
    delete ctrl;
    return nullptr;
  }
  return ctrl;
}

std::string PreviewMovieFor(const SWFFileInfo& info) {
  if (!info.strLocalFile.empty()) return info.strLocalFile;
  if (info.bSaved && !info.strSavedPath.empty() && PathFileExistsA(info.strSavedPath.c_str())) {
    return info.strSavedPath;
  }
  return info.strURL;
}

void CFlashPreview::Attach(wxWindow* dialog, wxWindow* window, PreviewAnchors anchors) {
  dialog_ = dialog;
  window_ = window;
  anchors_ = std::move(anchors);
  if (window_) rect_ = window_->GetRect();
}

CShockwaveFlash* CFlashPreview::GetCtrl() const { return dynamic_cast<CShockwaveFlash*>(window_); }

bool CFlashPreview::ResetPreview() {
  if (!dialog_) return false;
  strMovie_.clear();
  if (window_) {
    if (anchors_.removeAnchor) anchors_.removeAnchor(window_);
    // Child windows report their rectangle in the dialog's client coordinates already.
    rect_ = window_->GetRect();
    if (auto* old = dynamic_cast<CShockwaveFlash*>(window_)) {
      old->SetRedraw(false);
    } else {
      window_->Freeze();
    }
    wxWindow* old = window_;
    window_ = nullptr;
    // Destroyed now, not at idle time: the new control takes its place at once.
    delete old;
  }
  CShockwaveFlash* ctrl = setup_.NewControl();
  if (!ctrl) return false;
  if (!ctrl->Create("", WS_CHILD | WS_VISIBLE | WS_BORDER, rect_, dialog_, IDC_PREVIEW)) {
    delete ctrl;
    return false;
  }
  window_ = ctrl;
  ctrl->Stop();
  ctrl->SetMovie("1");
  ctrl->Zoom(0);
  ctrl->SetRedraw(true);
  if (anchors_.anchorControl) anchors_.anchorControl(ctrl, wxSize(50, 0), wxSize(100, 100));
  return true;
}

void CFlashPreview::OnItemChanged(const wxListCtrl& list, bool bSaving, int& nPreviewItem,
                                  const RecordOfRow& record) {
  if (bSaving) return;
  if (list.GetSelectedItemCount() != 1) {
    if (nPreviewItem != -1) {
      ResetPreview();
      nPreviewItem = -1;
    }
    return;
  }
  const long row = list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row == nPreviewItem) return;
  if (!ResetPreview()) return;
  nPreviewItem = static_cast<int>(row);
  const SWFFileInfo* info = record ? record(row) : nullptr;
  CShockwaveFlash* ctrl = GetCtrl();
  if (!info || !ctrl) return;
  strMovie_ = PreviewMovieFor(*info);
  ctrl->SetMovie(strMovie_);
}

void CFlashPreview::OnSize() {
  if (!window_) return;
  rect_ = window_->GetRect();
  window_->SetSize(rect_);
  window_->Refresh();
}

}  // namespace trovex

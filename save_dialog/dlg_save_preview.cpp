// The preview half of the Save dialog: the player control, made anew whenever the previewed
// movie changes, following the list's selection.
#include "preview/flash_preview.h"
#include "preview/shockwave_flash.h"
#include "save_dialog/dlg_save.h"

namespace trovex {

bool CDlgSave::ResetPreview() {
  wxWindow* dialog = GetWindow();
  if (!dialog) return false;
  // A new dialog window starts from the template's control.
  if (preview_.GetDialog() != dialog || preview_.GetWindow() != flashCtrl) {
    PreviewAnchors anchors;
    anchors.removeAnchor = [this](wxWindow* w) { RemoveAnchor(w); };
    anchors.anchorControl = [this](wxWindow* w, const wxSize& tl, const wxSize& br) {
      AnchorControl(w, Anchor{tl.x, tl.y}, Anchor{br.x, br.y});
    };
    preview_.Attach(dialog, flashCtrl, std::move(anchors));
  }
  const bool ok = preview_.ResetPreview();
  flashCtrl = preview_.GetWindow();
  strPreviewMovie.clear();
  return ok;
}

void CDlgSave::OnItemChanged() {
  if (!listCtrl) return;
  preview_.OnItemChanged(*listCtrl, bSaving != 0, nPreviewItem, [this](long row) { return &RowRecord(static_cast<int>(row)); });
  flashCtrl = preview_.GetWindow();
  strPreviewMovie = preview_.GetMovie();
}

void CDlgSave::OnSize(wxSizeEvent& event) {
  CResizableDialog::OnSize(event);
  preview_.OnSize();
}

}  // namespace trovex

// The Save dialog's preview area: a fresh control whenever the previewed movie changes, kept in
// step with the list's selection.
#pragma once

#include <wx/gdicmn.h>

#include <functional>
#include <string>

#include "preview/shockwave_flash.h"
#include "scan/swf_file_list.h"

class wxListCtrl;
class wxWindow;

namespace trovex {

constexpr int IDC_PREVIEW_TEMPLATE = 1038;  // the template's control
constexpr int IDC_PREVIEW = 4096;           // every control made afterwards

// The dialog's anchoring of controls, in percent of the client area.
struct PreviewAnchors {
  std::function<void(wxWindow*)> removeAnchor;
  std::function<void(wxWindow*, const wxSize& topLeft, const wxSize& bottomRight)> anchorControl;
};

// The template's instance of the control, initialised from the dialog's init data for ctrlId
// (defaults when it has none). Null when the control cannot be created.
CShockwaveFlash* CreateTemplatePreview(const PreviewSetup& setup, wxWindow* parent, int dialogId, int ctrlId,
                                       const wxRect& rect);

// The movie the preview plays for a record: its local copy, else its saved copy when that still
// exists, else its address.
std::string PreviewMovieFor(const SWFFileInfo& info);

class CFlashPreview {
 public:
  explicit CFlashPreview(PreviewSetup setup = {}) : setup_(setup) {}
  const PreviewSetup& GetSetup() const { return setup_; }
  // dialog: the dialog window; window: the preview window the template made. Called again for
  // every new dialog window.
  void Attach(wxWindow* dialog, wxWindow* window, PreviewAnchors anchors);

  // The preview window (null between a failed re-creation and the next success).
  wxWindow* GetWindow() const { return window_; }
  wxWindow* GetDialog() const { return dialog_; }
  // What the control was last pointed at; empty while the preview is empty.
  const std::string& GetMovie() const { return strMovie_; }
  CShockwaveFlash* GetCtrl() const;

  // Replaces the control by a new, empty one; false when it cannot be created.
  bool ResetPreview();
  // Keeps the preview in step with the list's selection (LVN_ITEMCHANGED). record: the record
  // of a row (null when there is none).
  using RecordOfRow = std::function<const SWFFileInfo*(long row)>;
  void OnItemChanged(const wxListCtrl& list, bool bSaving, int& nPreviewItem, const RecordOfRow& record);
  // After the dialog's own layout: re-places the control where the layout put it.
  void OnSize();

 private:
  PreviewSetup setup_;
  wxWindow* dialog_ = nullptr;
  wxWindow* window_ = nullptr;
  std::string strMovie_;
  wxRect rect_;  // last known place, so a failed re-creation can be retried
  PreviewAnchors anchors_;
};

}  // namespace trovex

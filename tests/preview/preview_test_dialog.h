// Dialog 1000 with just the parts the preview works with: the list (column 3 shows the address),
// the preview control, and the events that drive it, wired as the Save dialog wires them.
#pragma once

#include <wx/app.h>
#include <wx/listctrl.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/wx_text.h"
#include "preview/flash_preview.h"
#include "preview/shockwave_flash.h"
#include "scan/swf_file_list.h"

namespace trovex::test {

class PreviewTestDlg : public CDialog {
 public:
  PreviewTestDlg(std::vector<SWFFileInfo> rows, PreviewSetup setup) : CDialog(1000), flashCtrl(setup) {
    for (const SWFFileInfo& r : rows) fileList.Store(r);
  }

  SWFFileList fileList;
  CFlashPreview flashCtrl;
  int nPreviewItem = -1;
  bool bSaving = false;
  int nItemChanged = 0;  // notifications seen
  std::function<void(const std::string&)> onAnchor;  // "remove" / "anchor x,y-x,y"

  wxListCtrl* List() const { return GetDlgItemAs<wxListCtrl>(1000); }

 private:
  // The record of a row, by the key its item data indexes, as the Save dialog finds it.
  const SWFFileInfo* RowRecord(long row) const {
    const wxUIntPtr index = List()->GetItemData(row);
    if (index >= rowKeys_.size()) return nullptr;
    for (const auto& [url, info] : fileList)
      if (url == rowKeys_[index]) return &info;
    return nullptr;
  }

  std::vector<std::string> rowKeys_;
  wxSize initialClient_;
  wxRect initialRect_;

 public:

 protected:
  wxWindow* CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) override {
    if (ct.nId == IDC_PREVIEW_TEMPLATE) return CreateTemplatePreview(flashCtrl.GetSetup(), parent, GetTemplateId(), ct.nId, rect);
    return CDialog::CreateControl(ct, parent, rect);
  }

  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    wxListCtrl* list = List();
    list->EnableCheckBoxes();
    for (int c = 0; c < 4; ++c) list->AppendColumn(wxString::Format("%d", c));
    long row = 0;
    for (const auto& [url, info] : fileList) {
      list->InsertItem(row, ToWx(info.strFileName));
      list->SetItem(row, 3, ToWx(url));
      list->SetItemData(row, static_cast<long>(rowKeys_.size()));
      list->CheckItem(row, true);
      rowKeys_.push_back(url);
      ++row;
    }
    PreviewAnchors anchors;
    anchors.removeAnchor = [this](wxWindow*) {
      if (onAnchor) onAnchor("remove");
    };
    anchors.anchorControl = [this](wxWindow*, const wxSize& tl, const wxSize& br) {
      if (onAnchor) onAnchor(wxString::Format("anchor %d,%d-%d,%d", tl.x, tl.y, br.x, br.y).ToStdString());
    };
    flashCtrl.Attach(GetWindow(), GetDlgItem(IDC_PREVIEW_TEMPLATE), anchors);
    flashCtrl.ResetPreview();
    for (auto type : {wxEVT_LIST_ITEM_SELECTED, wxEVT_LIST_ITEM_DESELECTED, wxEVT_LIST_ITEM_CHECKED,
                      wxEVT_LIST_ITEM_UNCHECKED}) {
      list->Bind(type, [this](wxListEvent& e) {
        ++nItemChanged;
        flashCtrl.OnItemChanged(*List(), bSaving, nPreviewItem,
                                [this](long row) { return RowRecord(row); });
        e.Skip();
      });
    }
    // The resizable layout, reduced to the preview's anchors: left edge at 50 % of the growth,
    // right and bottom edges at 100 %.
    initialClient_ = GetWindow()->GetClientSize();
    initialRect_ = flashCtrl.GetWindow()->GetRect();
    GetWindow()->Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
      if (wxWindow* w = flashCtrl.GetWindow()) {
        const wxSize grow = GetWindow()->GetClientSize() - initialClient_;
        w->SetSize(initialRect_.x + grow.x / 2, initialRect_.y, initialRect_.width + grow.x - grow.x / 2,
                   initialRect_.height + grow.y);
      }
      flashCtrl.OnSize();
      e.Skip();
    });
    return true;
  }
};

// Selects exactly the given rows, as clicks and Ctrl-clicks do.
inline void SelectRows(wxListCtrl* list, std::vector<long> rows) {
  for (long r = 0; r < list->GetItemCount(); ++r) {
    const bool want = std::find(rows.begin(), rows.end(), r) != rows.end();
    if (!want && (list->GetItemState(r, wxLIST_STATE_SELECTED) & wxLIST_STATE_SELECTED)) {
      list->SetItemState(r, 0, wxLIST_STATE_SELECTED);
    }
  }
  for (long r : rows) list->SetItemState(r, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                         wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
}

// Runs the event loop until done() or the time is up; false on time-out.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  }
  return true;
}

}  // namespace trovex::test

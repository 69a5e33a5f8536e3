// The save run of the Save dialog: button 1034 saves the checked movies (and pauses a run).
// The walk itself is the save engine's (save_engine/save_run.h); this side shows what it reports.
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/weakref.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/message_box.h"
#include "framework/ui_thread.h"
#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "platform/text/res_text.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "dialogs/dlg_file_exists.h"
#include "dialogs/target_directory.h"
#include "save_engine/download_session.h"
#include "save_engine/format.h"
#include "save_engine/save_run.h"
#include "settings/profile.h"
#include "save_dialog/dlg_save.h"

namespace trovex {

namespace {

// The dialog's thread waits for a download inside a nested event loop, so painting, Pause and
// the close box keep working.
class DialogWait : public TransferWait {
 public:
  void Wait() override { wait_.Wait(); }
  void Wake() override { wait_.Wake(); }

 private:
  UiWait wait_;
};

// What the run reports, shown by the dialog. The transfer's statuses come from the session's
// worker and are handed to the dialog's thread as the latest value only, so the transfer
// never waits for the window.
class DialogRunObserver : public SaveRunObserver {
 public:
  explicit DialogRunObserver(CDlgSave& dlg) : dlg_(dlg) {}

  void OnRowStart(int nItem) override {
    dlg_.SelectOnly(nItem);
    dlg_.nSavingItem = nItem;
    movieDone_ = false;
  }
  FileExistsAnswer AskFileExists(const std::string& existing, const std::string& source) override {
    return trovex::AskFileExists(existing, source);
  }
  void OnTransferStart(int nItem, const std::string& name) override {
    if (!movieDone_) dlg_.SetItemStatus(nItem, IDS_STATUS_DOWNLOADING);  // not for its files
    dlg_.SetStatusText(name.c_str());
    // Each transfer has a hand-off of its own: a late value of the last one finds nothing.
    poster_ = std::make_unique<WindowPoster>(dlg_.GetWindow());
    current_ = std::make_shared<bool>(true);
    statuses_ = std::make_unique<LatestValuePoster<TransferStatus>>(
        dlg_.GetWindow(), [&dlg = dlg_](const TransferStatus& status) { dlg.OnTransferStatus(status); });
    dlg_.OnTotalSize(0);  // not known until the response says
  }
  void OnTransferStatus(int, const TransferStatus& status) override {
    // The response's status is queued as it is, ahead of any count, so that the bar is set up
    // first and the first count is not held back behind it.
    if (status.current == 0)
      poster_->Post([&dlg = dlg_, status, current = current_] {
        if (*current) dlg.OnTransferStatus(status);
      });
    else
      statuses_->Post(status);
  }
  void OnRowDone(int nItem, RowOutcome outcome, std::int64_t bytes, const std::string& error) override {
    movieDone_ = true;
    if (outcome == RowOutcome::Skipped) return;
    EndTransfer();
    switch (outcome) {
      case RowOutcome::Saved:
        dlg_.SetItemSize(nItem, bytes);
        dlg_.SetItemStatus(nItem, IDS_STATUS_DONE);
        break;
      case RowOutcome::Cancelled:
        dlg_.SetItemStatus(nItem, IDS_STATUS_CANCELLED);
        break;
      default:
        dlg_.SetItemStatus(nItem, IDS_STATUS_FAILED);
        break;
    }
    if (outcome == RowOutcome::Failed) AppMessageBox(dlg_.GetWindow(), error, MB_OK | MB_ICONERROR);
  }
  std::unique_ptr<TransferWait> CreateTransferWait() override { return std::make_unique<DialogWait>(); }
  void OnMovieFacts(int nItem, const swf::MovieSummary& facts) override { dlg_.SetItemFacts(nItem, facts); }
  void OnMovieFile(int nItem, const MovieFileOutcome& outcome) override {
    EndTransfer();
    dlg_.AddItemFile(nItem, outcome);
  }

 private:
  void EndTransfer() {
    // The last status first, then the bar goes.
    if (statuses_) statuses_->Flush();
    statuses_.reset();
    // A status still queued belongs to a transfer that is over.
    if (current_) *current_ = false;
    if (wxWindow* bar = dlg_.GetDlgItem(IDC_SAVE_PROGRESS)) bar->Hide();
  }

  CDlgSave& dlg_;
  bool movieDone_ = false;  // the row's movie is over: what follows are its files
  std::unique_ptr<WindowPoster> poster_;
  std::shared_ptr<bool> current_;  // this download's hand-offs still apply (dialog's thread)
  std::unique_ptr<LatestValuePoster<TransferStatus>> statuses_;
};

}  // namespace

void CDlgSave::OnSave() {
  if (!listCtrl) return;
  if (bSaving) {
    // Pause: the run notices it when the current download returns.
    EnableDlgItem(IDC_SAVE_SAVE, false);
    if (run_) run_->RequestStop();
    return;
  }

  std::vector<int> checked;
  for (long row = 0; row < listCtrl->GetItemCount(); ++row)
    if (listCtrl->IsItemChecked(row)) checked.push_back(static_cast<int>(row));
  if (checked.empty()) {
    AppMessageBoxRes(GetWindow(), IDS_NOTHING_TO_SAVE, MB_OK);
    return;
  }
  strSaveDir = GetDlgItemText(IDC_SAVE_DIR);
  MbTrim(strSaveDir, kWhiteSpace);
  if (!PathIsRootA(strSaveDir.c_str()) && !PathIsDirectoryA(strSaveDir.c_str())) {
    if (!EnsureTargetDirectory(strSaveDir, TRUE, GetWindow())) return;
  }

  // The saving state. Disabling the focused control leaves the dialog without a focus, and
  // then its keys (Escape, Enter, mnemonics) reach nothing: the focus is given back at the end.
  wxWeakRef<wxWindow> focusBefore(wxWindow::FindFocus());
  bSaving = 1;
  listCtrl->EnableInput(FALSE);
  for (int id : {IDC_SAVE_DIR, IDC_SAVE_DIR_MENU, IDC_SAVE_SETTINGS, IDC_SAVE_SELECT_ALL,
                 IDC_SAVE_DESELECT_ALL, IDC_SAVE_IMPORT_ZALMIC, IDC_SAVE_IMPORT_ORDAVIN})
    EnableDlgItem(id, false);
  SetStatusText(nullptr);  // the last run's last file is not this run's
  if (wxWindow* status = GetDlgItem(IDC_SAVE_STATUS)) status->Show();
  SetDlgItemText(IDC_SAVE_SAVE, LoadResString(IDS_BUTTON_PAUSE));

  std::vector<SaveRunItem> items;
  items.reserve(checked.size());
  for (int row : checked) items.push_back({row, &RowRecord(row)});

  DialogRunObserver observer(*this);
  SaveRun run(strSaveDir, settings.nConflictAction, observer, {}, settings.bSaveMovieFiles != 0);
  run.SetUnsizedReserve(ReadUnsizedReserve());
  run_ = &run;
  run.Run(items);
  run_ = nullptr;

  // The end of the run, whatever its outcome.
  if (!run.firstSaved().empty()) strFirstSaved = run.firstSaved();
  for (int id : {IDC_SAVE_DIR, IDC_SAVE_DIR_MENU, IDC_SAVE_SETTINGS, IDC_SAVE_SELECT_ALL,
                 IDC_SAVE_DESELECT_ALL})
    EnableDlgItem(id, true);
  UpdateImportButtons();
  if (wxWindow* status = GetDlgItem(IDC_SAVE_STATUS)) status->Hide();
  SetDlgItemText(IDC_SAVE_SAVE, LoadResString(IDS_BUTTON_SAVE));
  EnableDlgItem(IDC_SAVE_SAVE, true);
  bSaving = 0;
  listCtrl->EnableInput(TRUE);
  wxWindow* focus = focusBefore.get();
  if (!focus || !focus->IsEnabled() || wxGetTopLevelParent(focus) != GetWindow()) focus = listCtrl;
  focus->SetFocus();
  AppProfile().WriteProfileString(kSectionTrovex, kValueLastSaveDir, strSaveDir);

  if (closeAfterRun_) {
    closeAfterRun_ = false;
    CResizableDialog::OnCancel();
  }
}

void CDlgSave::OnCancel() {
  if (bSaving) {
    // Closing now would end the modal loop under the download's wait: stop, and close when
    // the run has ended.
    closeAfterRun_ = true;
    EnableDlgItem(IDC_SAVE_SAVE, false);
    if (run_) run_->RequestStop();
    return;
  }
  CResizableDialog::OnCancel();
}

bool CDlgSave::IsDownloading() const { return run_ && run_->downloading(); }

void CDlgSave::OnTransferStatus(const TransferStatus& status) {
  if (status.total != nTotal_) OnTotalSize(status.total);
  OnProgress(status.current);
}

void CDlgSave::OnTotalSize(std::int64_t nTotal) {
  nTotal_ = nTotal;
  // The bar counts in ints: a larger total is counted in units of 2^barShift_ bytes.
  barShift_ = 0;
  while ((nTotal >> barShift_) > INT32_MAX) ++barShift_;
  if (nTotal == 0) return;
  if (auto* bar = GetDlgItemAs<wxGauge>(IDC_SAVE_PROGRESS)) {
    bar->SetRange(static_cast<int>(nTotal >> barShift_));
    bar->SetValue(0);
    bar->Show();
  }
  SetItemSize(nSavingItem, nTotal);
}

void CDlgSave::OnProgress(std::int64_t nBytes) {
  if (nBytes == 0) return;
  if (nTotal_ != 0) {
    if (auto* bar = GetDlgItemAs<wxGauge>(IDC_SAVE_PROGRESS))
      bar->SetValue(static_cast<int>((nBytes < nTotal_ ? nBytes : nTotal_) >> barShift_));
  }
  const std::string total = FileSizeText(nTotal_ != 0 ? nTotal_ : -1);
  SetStatusText(FormatResString(IDS_DOWNLOAD_PROGRESS, FileSizeText(nBytes).c_str(), total.c_str()).c_str());
}

}  // namespace trovex

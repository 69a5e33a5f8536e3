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
#include "platform/text/system_message.h"
#include "platform/text/text.h"
#include "res/strings.h"
#include "dialogs/dlg_file_exists.h"
#include "dialogs/target_directory.h"
#include "save_engine/download_session.h"
#include "save_engine/save_run.h"
#include "settings/profile.h"
#include "save_dialog/dlg_save.h"

namespace trovex {

namespace {

constexpr const char* kWhiteSpace = " \t\n\v\f\r";

// "%d KB" of whole kilobytes, at least 1.
std::string KbText(std::int64_t bytes) {
  std::int64_t kb = bytes / 1024;
  return std::to_string(kb == 0 ? 1 : kb) + " KB";
}

// The dialog's thread waits for a download inside a nested event loop, so painting, Pause and
// the close box keep working.
class DialogWait : public TransferWait {
 public:
  void Wait() override { wait_.Wait(); }
  void Wake() override { wait_.Wake(); }

 private:
  UiWait wait_;
};

// What the session's worker reports, handed to the dialog's thread: the total once, the bytes
// as the latest count only, so the transfer never waits for the window.
class ProgressBridge : public DownloadObserver {
 public:
  ProgressBridge(CDlgSave& dlg, wxWindow* window)
      : dlg_(dlg), poster_(window), bytes_(window, [&dlg](const std::int64_t& n) { dlg.OnProgress(n); }) {}
  void OnTotalSize() override {
    const std::int64_t total = session->nContentLength;
    // Queued before any count of this download, so the total is there when counts arrive.
    poster_.Post([&dlg = dlg_, total] { dlg.OnTotalSize(total); });
  }
  void OnProgress(std::int64_t bytes) override { bytes_.Post(bytes); }
  // Dialog thread, after the download: the last count reaches the window.
  void Flush() { bytes_.Flush(); }

  CDownloadSession* session = nullptr;

 private:
  CDlgSave& dlg_;
  WindowPoster poster_;
  LatestValuePoster<std::int64_t> bytes_;
};

class DialogRunObserver : public SaveRunObserver {
 public:
  explicit DialogRunObserver(CDlgSave& dlg) : dlg_(dlg) {}

  void OnRowStart(int nItem) override {
    dlg_.SelectOnly(nItem);
    dlg_.nSavingItem = nItem;
  }
  BOOL SettleConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                      ConflictMemory& memory) override {
    return trovex::SettleTargetConflict(target, info, nPolicy, memory);
  }
  void OnRowStatus(int nItem, unsigned nStatusId) override { dlg_.SetItemStatus(nItem, nStatusId); }
  void OnRowSize(int nItem, std::int64_t nSize) override { dlg_.SetItemSize(nItem, nSize); }
  void OnStatusText(const std::string& text) override { dlg_.SetStatusText(text.c_str()); }
  void OnCopyFailed(const SWFFileInfo& info, DWORD dwError) override {
    char system[256];
    SetLastError(dwError);
    FormatSystemError(system, sizeof system);
    AppMessageBoxRes(dlg_.GetWindow(), IDS_SAVE_FAILED, MB_OK | MB_ICONERROR,
                     info.strFileName.c_str(), system);
  }
  void OnDownloadFailed(const std::string& text) override {
    // Which movie, from where, and why.
    const SWFFileInfo& info = dlg_.RowRecord(dlg_.nSavingItem);
    AppMessageBox(dlg_.GetWindow(),
                  FormatResString(IDS_DOWNLOAD_FAILED, info.strFileName.c_str(), info.strURL.c_str(),
                                  text.c_str()),
                  MB_OK | MB_ICONERROR);
  }
  std::unique_ptr<CSWFDownloadSession> CreateSession() override {
    auto session = std::make_unique<CSWFDownloadSession>(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG,
                                                         nullptr, nullptr, 0);
    bridge_ = std::make_unique<ProgressBridge>(dlg_, dlg_.GetWindow());
    bridge_->session = session.get();
    session->pOwner = bridge_.get();
    // Each transfer waits on its own: a late wake of the last one cannot end this one's wait.
    wait_ = std::make_unique<DialogWait>();
    session->SetTransferWait(wait_.get());
    dlg_.pSession = session.get();
    dlg_.OnTotalSize(0);  // not known until the response says
    return session;
  }
  void OnDownloadEnded() override {
    // The last count first, then the bar goes: a late hand-off finds nothing to update.
    if (bridge_) bridge_->Flush();
    dlg_.pSession = nullptr;
    if (wxWindow* bar = dlg_.GetDlgItem(IDC_SAVE_PROGRESS)) bar->Hide();
  }

 private:
  CDlgSave& dlg_;
  std::unique_ptr<DialogWait> wait_;
  std::unique_ptr<ProgressBridge> bridge_;
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
  SaveRun run(strSaveDir, settings.nConflictAction, observer);
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
  const std::string total = nTotal_ != 0 ? KbText(nTotal_) : std::string("? KB");
  SetStatusText(FormatResString(IDS_DOWNLOAD_PROGRESS, KbText(nBytes).c_str(), total.c_str()).c_str());
}

}  // namespace trovex

#include "save_engine/save_run.h"

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/fs.h"
#include "res/strings.h"

namespace trovex {

void SaveRun::RequestStop() {
  stopRequested_ = true;
  if (session_) session_->RequestStop();
}

void SaveRun::Run(const std::vector<SaveRunItem>& items) {
  // What a killed earlier run was writing here goes now.
  posix::SweepStaleTemporaries(strSaveDir_);
  for (const SaveRunItem& item : items) {
    if (stopRequested_) {
      stopped_ = true;
      break;
    }
    SWFFileInfo& info = *item.pInfo;
    observer_.OnRowStart(item.nItem);
    std::string target = ComposeTargetPath(strSaveDir_, info.strFileName);
    if (!observer_.SettleConflict(target, info, nPolicy_, memory_)) continue;
    observer_.OnRowStatus(item.nItem, IDS_STATUS_DOWNLOADING);
    observer_.OnStatusText(info.strFileName);

    bool saved = false;
    auto markSaved = [&] {
      observer_.OnRowStatus(item.nItem, IDS_STATUS_DONE);
      info.bSaved = TRUE;
      info.strSavedPath = target;
      saved = true;
    };
    if (!info.strLocalFile.empty()) {
      if (CopyFileA(info.strLocalFile.c_str(), target.c_str(), FALSE)) {
        markSaved();
      } else {
        DWORD error = GetLastError();
        observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
        observer_.OnCopyFailed(info, error);
      }
    } else {
      std::unique_ptr<CSWFDownloadSession> session = observer_.CreateSession();
      session_ = session.get();
      BOOL ok = session->Download(info.strURL, target);
      bool wasStopped = session->IsStopped() != FALSE;
      if (ok) {
        CFileStatus status;
        if (GetFileStatus(target.c_str(), status))
          observer_.OnRowSize(item.nItem, static_cast<std::int64_t>(status.m_size));
        markSaved();
      } else if (wasStopped) {
        observer_.OnRowStatus(item.nItem, IDS_STATUS_CANCELLED);
      } else {
        observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
        observer_.OnDownloadFailed(session->GetErrorText());
      }
      session_ = nullptr;
      session.reset();
      observer_.OnDownloadEnded();
      if (wasStopped) {
        stopped_ = true;
        break;
      }
    }
    if (saved && firstSaved_.empty()) firstSaved_ = target;
  }
}

}  // namespace trovex

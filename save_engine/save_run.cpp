#include "save_engine/save_run.h"

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/fs.h"
#include "res/strings.h"

namespace trovex {

void SaveRun::RequestStop() {
  stopRequested_ = true;
  std::lock_guard<std::mutex> lock(sessionMutex_);
  if (session_) session_->RequestStop();
}

bool SaveRun::downloading() const {
  std::lock_guard<std::mutex> lock(sessionMutex_);
  return session_ != nullptr;
}

void SaveRun::MarkSaved(const SaveRunItem& item, const std::string& target) {
  observer_.OnRowStatus(item.nItem, IDS_STATUS_DONE);
  item.pInfo->bSaved = TRUE;
  item.pInfo->strSavedPath = target;
  if (firstSaved_.empty()) firstSaved_ = target;
  rowSaved_ = true;
}

void SaveRun::DownloadRow(const SaveRunItem& item, const std::string& target, bool& wasStopped) {
  Transfer(item.pInfo->strURL, target, [&](CSWFDownloadSession& session, BOOL ok) {
    wasStopped = session.IsStopped() != FALSE;
    if (ok) {
      CFileStatus status;
      if (GetFileStatus(target.c_str(), status))
        observer_.OnRowSize(item.nItem, static_cast<std::int64_t>(status.m_size));
      MarkSaved(item, target);
    } else if (wasStopped) {
      observer_.OnRowStatus(item.nItem, IDS_STATUS_CANCELLED);
    } else {
      observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
      observer_.OnDownloadFailed(session.GetErrorText());
    }
  });
}

void SaveRun::Transfer(const std::string& url, const std::string& target,
                       const std::function<void(CSWFDownloadSession& session, BOOL ok)>& report) {
  std::unique_ptr<TransferWait> wait = observer_.CreateTransferWait();
  CSWFDownloadSession* session = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessionMutex_);
    session_ = std::make_unique<CSWFDownloadSession>(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG,
                                                     nullptr, nullptr, 0);
    session = session_.get();
  }
  session->pOwner = &observer_;
  session->SetTransferWait(wait.get());
  observer_.OnDownloadStarted();
  const BOOL ok = session->Download(url, target);
  report(*session, ok);
  std::unique_ptr<CSWFDownloadSession> ended;
  {
    std::lock_guard<std::mutex> lock(sessionMutex_);
    ended = std::move(session_);
  }
  ended.reset();
  observer_.OnDownloadEnded();
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

    bool wasStopped = false;
    rowSaved_ = false;
    if (!info.strLocalFile.empty()) {
      if (CopyFileA(info.strLocalFile.c_str(), target.c_str(), FALSE)) {
        MarkSaved(item, target);
      } else {
        DWORD error = GetLastError();
        observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
        observer_.OnCopyFailed(info, error);
      }
    } else {
      DownloadRow(item, target, wasStopped);
    }
    if (wasStopped) {
      stopped_ = true;
      break;
    }
    if (rowSaved_) {
      observer_.OnMovieFacts(item.nItem, swf::ReadMovieSummaryOfFile(target));
      if (saveFiles_) SaveMovieFiles(item, target);
    }
  }
}

}  // namespace trovex

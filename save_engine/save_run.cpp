#include "save_engine/save_run.h"

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/fs.h"
#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex {

namespace {

bool IsWebAddress(const std::string& url) {
  return AsciiStartsWithNoCase(url, "http://") || AsciiStartsWithNoCase(url, "https://");
}

// The local copy the scan saw is no longer there as it was (another process replaced or
// removed the cache entry): the address still names the movie.
bool LocalCopyChanged(const SWFFileInfo& info) {
  CFileStatus status;
  if (!GetFileStatus(info.strLocalFile.c_str(), status)) return true;
  return info.nSize >= 0 && static_cast<std::int64_t>(status.m_size) != info.nSize;
}

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

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
}

bool SaveRun::CopyRow(const SWFFileInfo& info, std::string& target, bool replace) {
  const std::string wanted = target;
  // Bounded: each try claims a name that was free a moment before.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (CopyFileA(info.strLocalFile.c_str(), target.c_str(), replace ? FALSE : TRUE)) return true;
    if (replace || GetLastError() != ERROR_FILE_EXISTS) return false;
    target = NextClaimPath(wanted, target);
  }
  return false;
}

void SaveRun::DownloadRow(const SaveRunItem& item, const std::string& target, bool replace,
                          bool& wasStopped) {
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
  session->SetSource(source_);
  session->SetUnsizedReserve(unsizedReserve_);
  if (!replace)
    session->SetNameClaim([target](const std::string& taken) { return NextClaimPath(target, taken); });
  observer_.OnDownloadStarted();
  const BOOL ok = session->Download(item.pInfo->strURL, target);
  wasStopped = session->IsStopped() != FALSE;
  if (ok) {
    const std::string saved = session->GetSavedPath().empty() ? target : session->GetSavedPath();
    CFileStatus status;
    if (GetFileStatus(saved.c_str(), status))
      observer_.OnRowSize(item.nItem, static_cast<std::int64_t>(status.m_size));
    MarkSaved(item, saved);
  } else if (wasStopped) {
    observer_.OnRowStatus(item.nItem, IDS_STATUS_CANCELLED);
  } else {
    observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
    observer_.OnDownloadFailed(session->GetErrorText());
  }
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
    // A name no target may carry (a local file's own name can) fails its row, saying why.
    if (!IsValidTargetPath(std::string(1, PathSeparator(kNativePathStyle)) + PathStripPath(target))) {
      observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
      observer_.OnDownloadFailed(FormatResString(IDS_NAME_UNUSABLE, info.strFileName.c_str()));
      continue;
    }
    const bool existed = PathFileExistsA(target.c_str()) != FALSE;
    if (!observer_.SettleConflict(target, info, nPolicy_, memory_)) continue;
    // Only an overwrite someone chose replaces a file; every other name is claimed, so a
    // second process saving into this folder meanwhile never loses its movie (nor we ours).
    const bool replace =
        nPolicy_ == CONFLICT_OVERWRITE ||
        (existed && nPolicy_ != CONFLICT_AUTO_RENAME && nPolicy_ != CONFLICT_SKIP &&
         (memory_.nAnswer == FILE_EXISTS_OVERWRITE || memory_.nAnswer == FILE_EXISTS_RENAME));
    observer_.OnRowStatus(item.nItem, IDS_STATUS_DOWNLOADING);
    observer_.OnStatusText(info.strFileName);

    bool wasStopped = false;
    const bool web = IsWebAddress(info.strURL);
    if (!info.strLocalFile.empty() && !(web && LocalCopyChanged(info))) {
      if (CopyRow(info, target, replace)) {
        MarkSaved(item, target);
      } else if (DWORD error = GetLastError(); web && IsGone(error)) {
        DownloadRow(item, target, replace, wasStopped);  // vanished after the look
      } else {
        observer_.OnRowStatus(item.nItem, IDS_STATUS_FAILED);
        observer_.OnCopyFailed(info, error);
      }
    } else {
      DownloadRow(item, target, replace, wasStopped);
    }
    if (wasStopped) {
      stopped_ = true;
      break;
    }
  }
}

}  // namespace trovex

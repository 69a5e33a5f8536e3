#include "save_engine/save_run.h"

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/fs.h"
#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
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

std::int64_t SizeOf(const std::string& path) {
  CFileStatus status;
  return GetFileStatus(path.c_str(), status) ? static_cast<std::int64_t>(status.m_size) : 0;
}

// Hands the session's values on with the row they belong to.
class RowTransfer : public DownloadObserver {
 public:
  RowTransfer(SaveRunObserver& observer, int nItem) : observer_(observer), nItem_(nItem) {}
  void OnTransferStatus(const TransferStatus& status) override { observer_.OnTransferStatus(nItem_, status); }

 private:
  SaveRunObserver& observer_;
  int nItem_;
};

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
  item.pInfo->bSaved = TRUE;
  item.pInfo->strSavedPath = target;
  if (firstSaved_.empty()) firstSaved_ = target;
  rowSaved_ = true;
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

bool SaveRun::DownloadRow(const SaveRunItem& item, const std::string& target, bool replace) {
  bool ok = false, stopped = false;
  std::string saved, why;
  Transfer(item.nItem, item.pInfo->strURL, target, replace, [&](CSWFDownloadSession& session, BOOL done) {
    ok = done != FALSE;
    stopped = session.IsStopped() != FALSE;
    saved = session.GetSavedPath().empty() ? target : session.GetSavedPath();
    why = session.GetErrorText();
  });
  // The worker is joined: no status comes after the row's end.
  if (ok) {
    MarkSaved(item, saved);
    observer_.OnRowDone(item.nItem, RowOutcome::Saved, SizeOf(saved), {});
  } else if (stopped) {
    observer_.OnRowDone(item.nItem, RowOutcome::Cancelled, 0, {});
  } else {
    // Which movie, from where, and why.
    const SWFFileInfo& info = *item.pInfo;
    observer_.OnRowDone(item.nItem, RowOutcome::Failed, 0,
                        FormatResString(IDS_DOWNLOAD_FAILED, info.strFileName.c_str(), info.strURL.c_str(),
                                        why.c_str()));
  }
  return stopped;
}

bool SaveRun::Settle(std::string& target, const SWFFileInfo& info) {
  const auto ask = [this](const std::string& existing, const std::string& source) {
    return observer_.AskFileExists(existing, source);
  };
  return SettleTargetConflict(target, info, nPolicy_, memory_, ask) != FALSE;
}

void SaveRun::Transfer(int nItem, const std::string& url, const std::string& target, bool replace,
                       const std::function<void(CSWFDownloadSession& session, BOOL ok)>& report) {
  std::unique_ptr<TransferWait> wait = observer_.CreateTransferWait();
  RowTransfer transfer(observer_, nItem);
  CSWFDownloadSession* session = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessionMutex_);
    session_ = std::make_unique<CSWFDownloadSession>(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG,
                                                     nullptr, nullptr, 0);
    session = session_.get();
  }
  session->pOwner = &transfer;
  session->SetTransferWait(wait.get());
  session->SetSource(source_);
  session->SetUnsizedReserve(unsizedReserve_);
  if (!replace)
    session->SetNameClaim([target](const std::string& taken) { return NextClaimPath(target, taken); });
  const BOOL ok = session->Download(url, target);
  report(*session, ok);
  std::unique_ptr<CSWFDownloadSession> ended;
  {
    std::lock_guard<std::mutex> lock(sessionMutex_);
    ended = std::move(session_);
  }
  ended.reset();
}

bool SaveRun::ReplacesOnWrite(bool existed) const {
  // Only an overwrite someone chose replaces a file; every other name is claimed, so a
  // second process saving into this folder meanwhile never loses its movie (nor we ours).
  return nPolicy_ == CONFLICT_OVERWRITE ||
         (existed && nPolicy_ != CONFLICT_AUTO_RENAME && nPolicy_ != CONFLICT_SKIP &&
          (memory_.nAnswer == FILE_EXISTS_OVERWRITE || memory_.nAnswer == FILE_EXISTS_RENAME));
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
      observer_.OnRowDone(item.nItem, RowOutcome::Failed, 0,
                          FormatResString(IDS_NAME_UNUSABLE, info.strFileName.c_str()));
      continue;
    }
    const bool existed = PathFileExistsA(target.c_str()) != FALSE;
    if (!Settle(target, info)) {
      observer_.OnRowDone(item.nItem, RowOutcome::Skipped, 0, {});
      continue;
    }
    const bool replace = ReplacesOnWrite(existed);
    observer_.OnTransferStart(item.nItem, info.strFileName);

    bool wasStopped = false;
    rowSaved_ = false;
    const bool web = IsWebAddress(info.strURL);
    if (!info.strLocalFile.empty() && !(web && LocalCopyChanged(info))) {
      if (CopyRow(info, target, replace)) {
        MarkSaved(item, target);
        observer_.OnRowDone(item.nItem, RowOutcome::Saved, SizeOf(target), {});
      } else if (DWORD error = GetLastError(); web && IsGone(error)) {
        wasStopped = DownloadRow(item, target, replace);  // vanished after the look
      } else {
        observer_.OnRowDone(item.nItem, RowOutcome::Failed, 0,
                            FormatResString(IDS_SAVE_FAILED, info.strFileName.c_str(),
                                            SystemErrorText(error).c_str()));
      }
    } else {
      wasStopped = DownloadRow(item, target, replace);
    }
    if (wasStopped) {
      stopped_ = true;
      break;
    }
    if (rowSaved_) {
      observer_.OnMovieFacts(item.nItem, swf::ReadMovieSummaryOfFile(info.strSavedPath));
      if (saveFiles_) SaveMovieFiles(item, info.strSavedPath);
    }
  }
}

}  // namespace trovex

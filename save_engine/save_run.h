// The walk of a save run over the checked movies: target name, conflict settlement, copy or
// download, statuses. It knows no windows and owns the download session of the row under way;
// what it shows and asks goes through an observer, which supplies only what a window (or a
// terminal, or a test) supplies: the wait for a download, the file-exists question, and a sink
// for rows, statuses and the transfer's {total, done}.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "save_engine/download_session.h"
#include "save_engine/target_naming.h"
#include "scan/swf_file_list.h"

namespace trovex {

// All calls come on the walk's thread, except OnTransferStatus (DownloadObserver), which the
// session's worker makes between OnDownloadStarted and OnDownloadEnded.
class SaveRunObserver : public DownloadObserver {
 public:
  // The row is about to be handled (selected alone, remembered as the saving row).
  virtual void OnRowStart(int nItem) = 0;
  // SettleTargetConflict with the run's policy and memory, asking the user when needed.
  virtual BOOL SettleConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                              ConflictMemory& memory) = 0;
  virtual void OnRowStatus(int nItem, unsigned nStatusId) = 0;
  virtual void OnRowSize(int nItem, std::int64_t nSize) = 0;
  virtual void OnStatusText(const std::string& text) = 0;
  // CopyFileA failed with this code (message 32002).
  virtual void OnCopyFailed(const SWFFileInfo& info, DWORD dwError) = 0;
  // A download failed with this text (not for a stop).
  virtual void OnDownloadFailed(const std::string& text) = 0;
  // How the walk's thread waits for one download (a window keeps dispatching its events). A
  // new one for each download, so a late wake of the last one cannot end this one's wait;
  // null: the walk blocks until the download has ended.
  virtual std::unique_ptr<TransferWait> CreateTransferWait() = 0;
  // A download begins: its total is not known until the response says.
  virtual void OnDownloadStarted() = 0;
  // The download has ended and its session is about to go (the progress bar hides).
  virtual void OnDownloadEnded() = 0;
};

struct SaveRunItem {
  int nItem = -1;
  SWFFileInfo* pInfo = nullptr;  // the row's record; the run sets bSaved and strSavedPath
};

class SaveRun {
 public:
  // `source`: where downloads come from (the network by default).
  SaveRun(std::string strSaveDir, int nConflictAction, SaveRunObserver& observer, DownloadSource source = {})
      : strSaveDir_(std::move(strSaveDir)), nPolicy_(nConflictAction), observer_(observer), source_(source) {}

  // Saves the items in order. Ends early when a download was stopped, or when a stop was
  // asked for between rows.
  void Run(const std::vector<SaveRunItem>& items);

  // Pause: stops the current download; with none under way, the walk ends before the next
  // row. Any thread.
  void RequestStop();

  // The most a body without a length keeps free on its file system (CDownloadSession).
  void SetUnsizedReserve(std::uint64_t bytes) { unsizedReserve_ = bytes; }

  // Whether a download is under way.
  bool downloading() const;
  bool stopped() const { return stopped_; }
  // The target of the first movie saved by this run; empty when none was.
  const std::string& firstSaved() const { return firstSaved_; }

 private:
  void MarkSaved(const SaveRunItem& item, const std::string& target);
  // Downloads one row's movie into target through a session of its own.
  // `replace`: the target may replace an existing file; otherwise a free name is claimed.
  void DownloadRow(const SaveRunItem& item, const std::string& target, bool replace,
                   bool& wasStopped);
  // Copies the row's local copy; false (the last error set) when it failed. Without `replace`
  // a free name is claimed and `target` becomes it.
  bool CopyRow(const SWFFileInfo& info, std::string& target, bool replace);

  std::string strSaveDir_;
  int nPolicy_;
  SaveRunObserver& observer_;
  DownloadSource source_;
  ConflictMemory memory_;
  mutable std::mutex sessionMutex_;  // guards session_ against a stop from another thread
  std::unique_ptr<CSWFDownloadSession> session_;
  std::atomic<bool> stopRequested_{false};
  bool stopped_ = false;
  std::string firstSaved_;
  std::uint64_t unsizedReserve_ = kDefaultUnsizedReserve;
};

}  // namespace trovex

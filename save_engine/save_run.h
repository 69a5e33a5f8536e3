// The walk of a save run over the checked movies: target name, conflict settlement, copy or
// download, statuses. It knows no windows: it reports rows, statuses and failures to an
// observer (the Save dialog, or a test), which also settles conflicts and makes the sessions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "save_engine/download_session.h"
#include "save_engine/target_naming.h"
#include "scan/swf_file_list.h"

namespace trovex {

class SaveRunObserver {
 public:
  virtual ~SaveRunObserver() = default;
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
  // A session for one download, with its owner and wait set.
  virtual std::unique_ptr<CSWFDownloadSession> CreateSession() = 0;
  // The download has ended and its session is about to go (the progress bar hides).
  virtual void OnDownloadEnded() = 0;
};

struct SaveRunItem {
  int nItem = -1;
  SWFFileInfo* pInfo = nullptr;  // the row's record; the run sets bSaved and strSavedPath
};

class SaveRun {
 public:
  SaveRun(std::string strSaveDir, int nConflictAction, SaveRunObserver& observer)
      : strSaveDir_(std::move(strSaveDir)), nPolicy_(nConflictAction), observer_(observer) {}

  // Saves the items in order. Ends early when a download was stopped, or when a stop was
  // asked for between rows.
  void Run(const std::vector<SaveRunItem>& items);

  // Pause: stops the current download; with none under way, the walk ends before the next
  // row. Called on the walk's thread (from an event dispatched while a download waits).
  void RequestStop();

  CSWFDownloadSession* session() const { return session_; }
  bool stopped() const { return stopped_; }
  // The target of the first movie saved by this run; empty when none was.
  const std::string& firstSaved() const { return firstSaved_; }

 private:
  std::string strSaveDir_;
  int nPolicy_;
  SaveRunObserver& observer_;
  ConflictMemory memory_;
  CSWFDownloadSession* session_ = nullptr;
  bool stopRequested_ = false;
  bool stopped_ = false;
  std::string firstSaved_;
};

}  // namespace trovex

// The walk of a save run over the checked movies: target name, conflict settlement, copy or
// download. It knows no windows and owns the download session of the row under way; it
// reports values to an observer (a window, a terminal, a test) and asks it one question, whether
// an existing file is to be replaced; the run keeps and applies its policy.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "save_engine/download_session.h"
#include "save_engine/movie_files.h"
#include "save_engine/target_naming.h"
#include "scan/swf_file_list.h"
#include "swf/movie_summary.h"

namespace trovex {

// What became of a row.
enum class RowOutcome { Saved, Skipped, Failed, Cancelled };

// All calls come on the walk's thread, except OnTransferStatus, which the session's worker
// makes while the walk waits.
class SaveRunObserver {
 public:
  virtual ~SaveRunObserver() = default;
  // The row is about to be handled.
  virtual void OnRowStart(int nItem) = 0;
  // The target exists: what to do with it. `source` is the movie's local copy, empty when it
  // will be downloaded.
  virtual FileExistsAnswer AskFileExists(const std::string& existing, const std::string& source) = 0;
  // The row's movie, or after its OnRowDone one of the files it loads, starts to be copied or
  // downloaded under this name.
  virtual void OnTransferStart(int nItem, const std::string& name) = 0;
  // A download's progress: {total, 0, 0} once the response has arrived, then the offset after
  // every block received.
  virtual void OnTransferStatus(int nItem, const TransferStatus& status) = 0;
  // The row is over (a download's worker has ended). `bytes`: the size saved; `error`: the
  // failure as the user reads it, empty unless Failed.
  virtual void OnRowDone(int nItem, RowOutcome outcome, std::int64_t bytes, const std::string& error) = 0;
  // How the walk's thread waits for one download (a window keeps dispatching its events). A
  // new one for each download, so a late wake of the last one cannot end this one's wait;
  // null: the walk blocks until the download has ended.
  virtual std::unique_ptr<TransferWait> CreateTransferWait() = 0;
  // The facts of the row's movie, read from the file just saved.
  virtual void OnMovieFacts(int /*nItem*/, const swf::MovieSummary& /*facts*/) {}
  // One file the row's movie loads has been handled; after the movie's own status.
  virtual void OnMovieFile(int /*nItem*/, const MovieFileOutcome& /*outcome*/) {}
};

struct SaveRunItem {
  int nItem = -1;
  SWFFileInfo* pInfo = nullptr;  // the row's record; the run sets bSaved and strSavedPath
};

class SaveRun {
 public:
  // `source`: where downloads come from (the network by default); `saveFiles`: also save the
  // files each saved movie loads.
  SaveRun(std::string strSaveDir, int nConflictAction, SaveRunObserver& observer, DownloadSource source = {},
          bool saveFiles = true)
      : strSaveDir_(std::move(strSaveDir)), nPolicy_(nConflictAction), observer_(observer), source_(source),
        saveFiles_(saveFiles) {}

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
  // Downloads one row's movie into target through a session of its own and reports the row.
  // `replace`: the target may replace an existing file; otherwise a free name is claimed.
  // Returns whether the download was stopped.
  bool DownloadRow(const SaveRunItem& item, const std::string& target, bool replace);
  // Copies the row's local copy; false (the last error set) when it failed. Without `replace`
  // a free name is claimed and `target` becomes it.
  bool CopyRow(const SWFFileInfo& info, std::string& target, bool replace);
  // Whether a write to a target settled by the policy may replace a file that `existed`.
  bool ReplacesOnWrite(bool existed) const;
  // Settles a clash of `target` with an existing file by the run's policy, asking the
  // observer when the policy says so; false: skip it.
  bool Settle(std::string& target, const SWFFileInfo& info);
  // One download for row nItem through a session of its own; `report` sees the session
  // before it goes.
  void Transfer(int nItem, const std::string& url, const std::string& target, bool replace,
                const std::function<void(CSWFDownloadSession& session, BOOL ok)>& report);
  // The files the row's movie, saved at `target`, loads (movie_files.cpp).
  void SaveMovieFiles(const SaveRunItem& item, const std::string& target);
  MovieFileOutcome SaveMovieFile(int nItem, const std::string& address, const std::string& relative,
                                 const std::string& folder);

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
  bool saveFiles_;
  bool rowSaved_ = false;
  // Files saved by this run, by address and target: a file two movies load is fetched once.
  std::map<std::pair<std::string, std::string>, MovieFileOutcome> filesDone_;
};

}  // namespace trovex

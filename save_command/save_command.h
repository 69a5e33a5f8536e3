// trovex-save's work: each page is loaded by the static loader and scanned, and its movies are
// saved by the save engine's run (save_engine/save_run.h), all of them checked, as the Save dialog's
// Save button does. This side only reports: a progress line on a terminal, one line (or one
// JSON object) per movie, a summary, and the exit code.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/inet/page_source.h"
#include "save_engine/save_run.h"
#include "save_engine/movie_files.h"
#include "swf/movie_summary.h"

namespace trovex::save_command {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// What became of one movie (texts in the locale's code page).
struct RowResult {
  std::string page;
  std::string address;
  std::string target;  // the path written, or the one settled on before a failure
  RowOutcome outcome = RowOutcome::Skipped;
  bool alreadySaved = false;  // saved from an earlier page of the run: not fetched again
  std::int64_t bytes = 0;
  std::string error;
  bool tried = false;  // the run came to it (a stop may end the walk before)
  swf::MovieSummary facts;  // of the saved file
  std::vector<MovieFileOutcome> files;  // the files it loads, as they were handled
};

struct Summary {
  int pages = 0;
  int pagesFailed = 0;
  int saved = 0;
  int skipped = 0;
  int failed = 0;
  int cancelled = 0;
  int alreadySaved = 0;
  std::int64_t bytes = 0;
  bool interrupted = false;
  // The files the movies load.
  int filesSaved = 0;
  int filesMissing = 0;
  int filesFailed = 0;
  int ExitCode() const;
};

struct RunSettings {
  std::string dir;           // an absolute target directory (already made)
  int nConflictAction = 3;   // the policy for the whole run
  std::uint64_t unsizedReserve = std::uint64_t{2} << 30;  // see SaveRun::SetUnsizedReserve
  bool plugins = false;
  // Where pages and movies come from (web archives); null: the network. movieSource is
  // the archives alone: the network, when it stands behind them, is asked by the download.
  std::shared_ptr<inet::PageSource> pageSource;
  inet::PageSource* movieSource = nullptr;
  bool networkFallback = false;
  bool json = false;
  bool saveFiles = true;      // also the files each movie loads
  bool progressLine = false;  // redraw a progress line on `progress` (a terminal)
  bool askOnTerminal = false; // the ask policy may ask on /dev/tty
  std::FILE* out = stdout;    // per-movie lines and the summary
  std::FILE* progress = stderr;  // progress line and messages
};

// Loads, scans and saves every page in order; `interrupted` is polled (a signal handler sets
// it) and stops the run as Pause does.
Summary SavePages(const std::vector<std::string>& pages, const RunSettings& settings,
                  const std::atomic<bool>& interrupted);

// Pure helpers, for the reports.
const char* OutcomeKey(const RowResult& row);  // "saved", "skipped", ...
// One JSON object (no line break) for a row and for the summary, UTF-8.
std::string RowJson(const RowResult& row);
std::string SummaryJson(const Summary& summary);
// "name  下載中... (12 KB of 40 KB)  1.5 MB/s  0:04" cut to `width` columns; total 0: unknown.
std::string ProgressLine(const std::string& name, std::int64_t done, std::int64_t total,
                         double bytesPerSecond, int width);
// "1.5 MB/s", "820 KB/s", "12 B/s"
std::string RateText(double bytesPerSecond);
// "m:ss" or "h:mm:ss"
std::string DurationText(std::int64_t seconds);

}  // namespace trovex::save_command

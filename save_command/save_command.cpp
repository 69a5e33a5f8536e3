#include "save_command/save_command.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "platform/error/error.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"
#include "save_engine/download_session.h"
#include "save_engine/format.h"
#include "save_engine/save_run.h"
#include "save_engine/target_naming.h"
#include "scan/document_walker.h"
#include "scan/swf_file_list.h"

namespace trovex::save_command {

namespace {

using Clock = std::chrono::steady_clock;

// The whole load of one page, frames and played movies included.
constexpr int kLoadBudgetSeconds = 600;

int TerminalWidth(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

// Walks the characters of a text in the locale's code page with the columns each takes on a
// terminal: one for a single byte, two for a multibyte (CJK) character; a stray byte is one.
template <typename Visit>
void ForEachCharacter(const std::string& text, Visit visit) {
  std::mbstate_t state{};
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = std::mbrlen(text.data() + i, text.size() - i, &state);
    if (len == 0 || len > text.size() - i) {
      len = 1;
      state = {};
    }
    if (!visit(i, len, len == 1 ? 1 : 2)) return;
    i += len;
  }
}

int Columns(const std::string& text) {
  int columns = 0;
  ForEachCharacter(text, [&](std::size_t, std::size_t, int width) {
    columns += width;
    return true;
  });
  return columns;
}

// The start of the text that fits into `columns` with a "~" after it, whole characters only.
std::string CutToColumns(const std::string& text, int columns) {
  if (Columns(text) <= columns) return text;
  std::string out;
  int used = 0;
  ForEachCharacter(text, [&](std::size_t at, std::size_t len, int width) {
    if (used + width > columns - 1) return false;
    out.append(text, at, len);
    used += width;
    return true;
  });
  return out + "~";
}

// The calling thread's wait for one download: it wakes every tenth of a second to redraw the
// progress line and to notice Ctrl+C, which it turns into the run's Pause.
class TerminalWait : public TransferWait {
 public:
  template <typename Tick>
  explicit TerminalWait(Tick tick) : tick_(std::move(tick)) {}
  void Wait() override {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!woken_) {
      cv_.wait_for(lock, std::chrono::milliseconds(100));
      if (woken_) break;
      lock.unlock();
      tick_();
      lock.lock();
    }
    woken_ = false;
  }
  void Wake() override {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    cv_.notify_one();
  }

 private:
  std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

class CommandRun : public SaveRunObserver {
 public:
  CommandRun(const RunSettings& settings, const std::atomic<bool>& interrupted)
      : settings_(settings), interrupted_(interrupted) {}

  void SavePage(const std::string& page) {
    ++summary_.pages;
    std::string error;
    const std::string address = browser::AddressFromUserInput(page, &error);
    if (address.empty()) return PageFailed(page, error);
    browser::LoadOptions options;
    options.bPlugins = settings_.plugins;
    auto budget = std::make_shared<browser::FetchBudget>(std::chrono::seconds(kLoadBudgetSeconds));
    options.pageLimits.budget = budget;
    options.movieLimits.budget = budget;
    // Ctrl+C gives up the load at once, as it stops a download.
    options.pageLimits.abort = &interrupted_;
    options.movieLimits.abort = &interrupted_;
    options.pageLimits.source = settings_.pageSource;
    options.movieLimits.source = settings_.pageSource;
    browser::LoadStats stats;
    ComPtr<IWebBrowser2> pageBrowser = browser::LoadPage(address, options, &error, &stats);
    if (interrupted_.load() && !pageBrowser) return;  // no failure of the page: a stop
    for (const std::string& cut : stats.cuts) Message(page + ": " + cut);
    if (!pageBrowser) return PageFailed(page, error);
    if (stats.nStatus >= 400) return PageFailed(page, FormatResString(IDS_TROVEX_SAVE_HTTP_STATUS, stats.nStatus));
    ComPtr<IHTMLDocument2> document = browser::DocumentOf(pageBrowser.Get());
    SWFFileList movies;
    ScanDocument(document.Get(), movies);
    if (movies.GetCount() == 0) {
      Message(page + ": " + LoadResString(IDS_NO_FLASH_ON_PAGE));
      return;
    }

    rows_.clear();
    std::vector<SaveRunItem>& items = items_;
    items.clear();
    for (auto& [key, info] : movies) {
      RowResult row;
      row.page = page;
      row.address = info.strURL;
      if (auto earlier = savedBefore_.find(info.strURL); earlier != savedBefore_.end()) {
        // Saved from an earlier page of this run: neither fetched nor written again.
        row.alreadySaved = true;
        row.target = earlier->second;
        Report(row);
        continue;
      }
      rows_.push_back(row);
      items.push_back({static_cast<int>(rows_.size() - 1), &info});
    }
    if (items.empty()) return;
    // Ctrl+C while the page loaded: nothing of it is saved, each movie is still accounted for.
    if (interrupted_.load()) return ReportUntried(items);
    SaveRun run(settings_.dir, settings_.nConflictAction, *this, {settings_.movieSource, settings_.networkFallback},
                settings_.saveFiles);
    run.SetUnsizedReserve(settings_.unsizedReserve);
    run_ = &run;
    run.Run(items);
    FinishRow();
    run_ = nullptr;
    ReportUntried(items);
    for (const SaveRunItem& item : items)
      if (item.pInfo->bSaved) savedBefore_[item.pInfo->strURL] = item.pInfo->strSavedPath;
    if (run.stopped()) stopped_ = true;
  }

  bool stopped() const { return stopped_ || interrupted_.load(); }
  Summary& summary() { return summary_; }

  // ---- SaveRunObserver ----
  void OnRowStart(int nItem) override {
    FinishRow();
    rows_[nItem].tried = true;
    rows_[nItem].target = ComposeTargetPath(settings_.dir, items_[nItem].pInfo->strFileName);
    // Copies do not wait: Ctrl+C between rows ends the walk before the next one.
    if (interrupted_.load() && run_) run_->RequestStop();
  }
  FileExistsAnswer AskFileExists(const std::string& existing, const std::string&) override {
    return Ask(existing);
  }
  void OnTransferStart(int, const std::string& name) override {
    name_ = name;
    done_ = 0;
    total_ = 0;
    started_ = Clock::now();
    lastDraw_ = {};
  }
  void OnRowDone(int nItem, RowOutcome outcome, std::int64_t bytes, const std::string& error) override {
    RowResult& row = rows_[nItem];
    row.outcome = outcome;
    row.bytes = bytes;
    row.error = error;
    if (outcome == RowOutcome::Saved) row.target = items_[nItem].pInfo->strSavedPath;
    ClearProgress();
    finishing_ = nItem;  // reported once its files are done
  }
  std::unique_ptr<TransferWait> CreateTransferWait() override {
    return std::make_unique<TerminalWait>([this] { Tick(); });
  }
  void OnMovieFacts(int nItem, const swf::MovieSummary& facts) override { rows_[nItem].facts = facts; }
  void OnMovieFile(int nItem, const MovieFileOutcome& outcome) override { rows_[nItem].files.push_back(outcome); }

  // The session's worker.
  void OnTransferStatus(int, const TransferStatus& status) override {
    total_ = status.total;
    done_ = status.current;
  }

  void Message(const std::string& text) {
    ClearProgress();
    std::fprintf(settings_.progress, "trovex-save: %s\n", text.c_str());
    std::fflush(settings_.progress);
  }

 private:
  void PageFailed(const std::string& page, const std::string& error) {
    ++summary_.pagesFailed;
    Message(FormatResString(IDS_TROVEX_SAVE_CANNOT_LOAD, page.c_str(), error.c_str()));
    if (settings_.json) {
      nlohmann::json line = {{"page", AnsiToUtf8(page)}, {"status", "page-failed"}, {"error", AnsiToUtf8(error)}};
      WriteOut(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
  }

  // The rows a stop left untried: cancelled, so every movie has its line and the counts add up.
  void ReportUntried(const std::vector<SaveRunItem>& items) {
    for (const SaveRunItem& item : items) {
      RowResult& row = rows_[item.nItem];
      if (row.tried) continue;
      row.outcome = RowOutcome::Cancelled;
      Report(row);
    }
  }

  // The row whose movie is done, with its files: count and report it.
  void FinishRow() {
    if (finishing_ < 0) return;
    ClearProgress();
    Report(rows_[finishing_]);
    finishing_ = -1;
  }

  void Report(const RowResult& row) {
    if (row.alreadySaved) {
      ++summary_.alreadySaved;
      if (settings_.json) return WriteOut(RowJson(row));
      return WriteOut(FormatResString(IDS_TROVEX_SAVE_LINE_ALREADY_SAVED, row.target.c_str()));
    }
    switch (row.outcome) {
      case RowOutcome::Saved: ++summary_.saved; summary_.bytes += row.bytes; break;
      case RowOutcome::Skipped: ++summary_.skipped; break;
      case RowOutcome::Failed: ++summary_.failed; break;
      case RowOutcome::Cancelled: ++summary_.cancelled; break;
    }
    for (const MovieFileOutcome& file : row.files) {
      if (file.status == MovieFileStatus::kSaved) ++summary_.filesSaved;
      if (file.status == MovieFileStatus::kMissing) ++summary_.filesMissing;
      if (file.status == MovieFileStatus::kFailed) ++summary_.filesFailed;
    }
    if (settings_.json) return WriteOut(RowJson(row));
    std::string line;
    switch (row.outcome) {
      case RowOutcome::Saved:
        line = LoadResString(IDS_STATUS_DONE) + "\t" + row.target + "\t" + FileSizeText(row.bytes);
        break;
      case RowOutcome::Skipped:
        line = FormatResString(IDS_TROVEX_SAVE_LINE_SKIPPED, (row.target.empty() ? row.address : row.target).c_str());
        break;
      case RowOutcome::Failed:
        line = LoadResString(IDS_STATUS_FAILED) + "\t" + row.address + "\t" + row.error;
        std::replace(line.begin(), line.end(), '\n', ' ');  // one line per movie
        break;
      case RowOutcome::Cancelled:
        line = LoadResString(IDS_STATUS_CANCELLED) + "\t" + row.address;
        break;
    }
    WriteOut(line);
    for (const MovieFileOutcome& file : row.files)
      WriteOut(FormatResString(IDS_TROVEX_SAVE_LINE_FILE, LoadResString(MovieFileStatusText(file.status)).c_str(),
                               (file.status == MovieFileStatus::kSaved ? file.target : file.address).c_str(),
                               file.error.c_str()));
  }

  void WriteOut(const std::string& line) {
    ClearProgress();
    std::fprintf(settings_.out, "%s\n", line.c_str());
    std::fflush(settings_.out);
  }

  // The wait's tenth of a second: Ctrl+C, then the progress line.
  void Tick() {
    if (interrupted_.load() && run_ && !stopAsked_) {
      stopAsked_ = true;
      run_->RequestStop();
    }
    if (!settings_.progressLine) return;
    const auto now = Clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const std::int64_t done = done_.load();
    const double rate = seconds > 0.05 ? done / seconds : 0.0;
    const std::string line =
        ProgressLine(name_, done, total_.load(), rate, TerminalWidth(settings_.progress) - 1);
    std::fprintf(settings_.progress, "\r%s\x1b[K", line.c_str());
    std::fflush(settings_.progress);
    drawn_ = true;
  }

  void ClearProgress() {
    if (!drawn_) return;
    std::fputs("\r\x1b[K", settings_.progress);
    std::fflush(settings_.progress);
    drawn_ = false;
  }

  // The ask policy: a question on the terminal, else skip.
  FileExistsAnswer Ask(const std::string& existing) {
    FileExistsAnswer answer;  // skip
    if (!settings_.askOnTerminal) return answer;
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) return answer;
    ClearProgress();
    const std::string question = FormatResString(IDS_TROVEX_SAVE_ASK_CONFLICT, existing.c_str());
    for (;;) {
      if (write(tty, question.data(), question.size()) < 0) break;
      char reply[64] = {};
      const ssize_t n = read(tty, reply, sizeof reply - 1);
      if (n <= 0 || interrupted_.load()) break;  // end of input or Ctrl+C: skip
      const char c = reply[0];
      answer.bApplyToAll = c >= 'A' && c <= 'Z';
      switch (c | 0x20) {
        case 'r': answer.nResult = FILE_EXISTS_AUTO_RENAME; break;
        case 'o': answer.nResult = FILE_EXISTS_OVERWRITE; break;
        case 's': answer.nResult = FILE_EXISTS_SKIP; break;
        default: continue;
      }
      break;
    }
    close(tty);
    return answer;
  }

  const RunSettings& settings_;
  const std::atomic<bool>& interrupted_;
  Summary summary_;
  std::map<std::string, std::string> savedBefore_;  // address -> target, over the whole run
  std::vector<RowResult> rows_;
  std::vector<SaveRunItem> items_;  // of the page under way, by row
  int finishing_ = -1;
  SaveRun* run_ = nullptr;
  bool stopped_ = false;
  bool stopAsked_ = false;
  bool drawn_ = false;
  std::string name_;
  std::atomic<std::int64_t> done_{0};
  std::atomic<std::int64_t> total_{0};
  Clock::time_point started_{};
  Clock::time_point lastDraw_{};
};

}  // namespace

int Summary::ExitCode() const {
  if (interrupted) return kExitInterrupted;
  if (pages > 0 && pagesFailed == pages) return kExitUsage;
  if (failed > 0 || pagesFailed > 0) return kExitFailed;
  return kExitOk;
}

const char* OutcomeKey(const RowResult& row) {
  if (row.alreadySaved) return "already-saved";
  switch (row.outcome) {
    case RowOutcome::Saved: return "saved";
    case RowOutcome::Skipped: return "skipped";
    case RowOutcome::Failed: return "failed";
    case RowOutcome::Cancelled: return "cancelled";
  }
  return "failed";
}

std::string RowJson(const RowResult& row) {
  nlohmann::json line = {{"page", AnsiToUtf8(row.page)},     {"address", AnsiToUtf8(row.address)},
                         {"target", AnsiToUtf8(row.target)}, {"status", OutcomeKey(row)},
                         {"bytes", row.bytes},           {"error", AnsiToUtf8(row.error)}};
  // Added after the first fields, so readers of those keep working; null when not known.
  const swf::MovieSummary& f = row.facts;
  line["swfVersion"] = f.known() ? nlohmann::json(f.version) : nlohmann::json();
  line["actionScript"] = f.known() ? nlohmann::json(f.actionScript) : nlohmann::json();
  line["stageWidth"] = f.known() ? nlohmann::json(f.stageWidth) : nlohmann::json();
  line["stageHeight"] = f.known() ? nlohmann::json(f.stageHeight) : nlohmann::json();
  line["frameRate"] = f.known() ? nlohmann::json(f.frameRate) : nlohmann::json();
  nlohmann::json files = nlohmann::json::array();
  for (const MovieFileOutcome& file : row.files)
    files.push_back({{"address", AnsiToUtf8(file.address)}, {"target", AnsiToUtf8(file.target)},
                     {"status", MovieFileStatusKey(file.status)}, {"bytes", file.bytes},
                     {"error", AnsiToUtf8(file.error)}, {"depth", file.depth}});
  line["files"] = std::move(files);
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string SummaryJson(const Summary& s) {
  nlohmann::json line = {{"summary", true},         {"pages", s.pages},
                         {"pagesFailed", s.pagesFailed}, {"saved", s.saved},
                         {"skipped", s.skipped},    {"failed", s.failed},
                         {"cancelled", s.cancelled}, {"alreadySaved", s.alreadySaved},
                         {"bytes", s.bytes},        {"interrupted", s.interrupted},
                         {"exitCode", s.ExitCode()}};
  line["filesSaved"] = s.filesSaved;
  line["filesMissing"] = s.filesMissing;
  line["filesFailed"] = s.filesFailed;
  return line.dump();
}

std::string RateText(double bytesPerSecond) {
  char text[32];
  if (bytesPerSecond >= 1024.0 * 1024.0)
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / (1024.0 * 1024.0));
  else if (bytesPerSecond >= 1024.0)
    std::snprintf(text, sizeof text, "%.0f KB/s", bytesPerSecond / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
  return text;
}

std::string DurationText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return text;
}

std::string ProgressLine(const std::string& name, std::int64_t done, std::int64_t total,
                         double bytesPerSecond, int width) {
  std::string tail = "  " + FormatResString(IDS_DOWNLOAD_PROGRESS, FileSizeText(done).c_str(),
                                            FileSizeText(total > 0 ? total : -1).c_str());
  if (bytesPerSecond > 0) {
    tail += "  " + RateText(bytesPerSecond);
    if (total > done) tail += "  " + DurationText(static_cast<std::int64_t>((total - done) / bytesPerSecond + 0.5));
  }
  const int room = width - Columns(tail);
  if (room < 8) return CutToColumns(name + tail, width);
  return CutToColumns(name, room) + tail;
}

Summary SavePages(const std::vector<std::string>& pages, const RunSettings& settings,
                  const std::atomic<bool>& interrupted) {
  CommandRun run(settings, interrupted);
  for (const std::string& page : pages) {
    if (run.stopped()) break;
    run.SavePage(page);
  }
  Summary summary = run.summary();
  summary.interrupted = run.stopped();
  if (summary.interrupted) run.Message(LoadResString(IDS_TROVEX_SAVE_INTERRUPTED));
  return summary;
}

}  // namespace trovex::save_command

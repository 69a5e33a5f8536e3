#include "save_command/save_command.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "pageloader/loader.h"
#include "pageloader/charset.h"
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

std::string ToUtf8(const std::string& ansi) {
  const std::string codePage = CurrentCodePage();
  return codePage == "UTF-8" || codePage == "ANSI_X3.4-1968" ? ansi : browser::DecodeToUtf8(ansi, codePage);
}

std::string KbText(std::int64_t bytes) {
  const std::int64_t kb = bytes / 1024;
  return FormatGroupedNumber(static_cast<double>(kb == 0 ? 1 : kb), 0) + " KB";
}

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
    options.pageLimits.source = settings_.pageSource;
    options.movieLimits.source = settings_.pageSource;
    browser::LoadStats stats;
    ComPtr<IWebBrowser2> pageBrowser = browser::LoadPage(address, options, &error, &stats);
    for (const std::string& cut : stats.cuts) Message(page + ": " + cut);
    if (!pageBrowser) return PageFailed(page, error);
    if (stats.nStatus >= 400) return PageFailed(page, "the server answered HTTP " + std::to_string(stats.nStatus));
    ComPtr<IHTMLDocument2> document = browser::DocumentOf(pageBrowser.Get());
    SWFFileList movies;
    ScanDocument(document.Get(), movies);
    if (movies.GetCount() == 0) {
      Message(page + ": " + LoadResString(IDS_NO_FLASH_ON_PAGE));
      return;
    }

    rows_.clear();
    std::vector<SaveRunItem> items;
    for (auto& [key, info] : movies) {
      RowResult row;
      row.page = page;
      row.address = info.strURL;
      if (auto earlier = savedBefore_.find(info.strURL); earlier != savedBefore_.end()) {
        // Saved from an earlier page of this run: neither fetched nor written again.
        row.outcome = RowOutcome::AlreadySaved;
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
    SaveRun run(settings_.dir, settings_.nConflictAction, *this, {settings_.movieSource, settings_.networkFallback});
    run.SetUnsizedReserve(settings_.unsizedReserve);
    run_ = &run;
    current_ = -1;
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
    current_ = nItem;
    rows_[nItem].tried = true;
    // Copies do not wait: Ctrl+C between rows ends the walk before the next one.
    if (interrupted_.load() && run_) run_->RequestStop();
  }
  BOOL SettleConflict(std::string& target, const SWFFileInfo& info, int nPolicy,
                      ConflictMemory& memory) override {
    BOOL write = SettleTargetConflict(target, info, nPolicy, memory,
                                      [this](const std::string& existing, const std::string&) {
                                        return Ask(existing);
                                      });
    rows_[current_].target = target;
    return write;
  }
  void OnRowStatus(int nItem, unsigned nStatusId) override {
    RowResult& row = rows_[nItem];
    switch (nStatusId) {
      case IDS_STATUS_DOWNLOADING:
        row.outcome = RowOutcome::Failed;  // until it says otherwise
        break;
      case IDS_STATUS_DONE:
        row.outcome = RowOutcome::Saved;
        break;
      case IDS_STATUS_CANCELLED:
        row.outcome = RowOutcome::Cancelled;
        break;
      default:
        row.outcome = RowOutcome::Failed;
        break;
    }
  }
  void OnRowSize(int, std::int64_t) override {}
  void OnStatusText(const std::string& text) override {
    name_ = text;
    done_ = 0;
    total_ = 0;
    started_ = Clock::now();
    lastDraw_ = {};
  }
  void OnCopyFailed(const SWFFileInfo& info, DWORD dwError) override {
    char system[256];
    SetLastError(dwError);
    FormatSystemError(system, sizeof system);
    rows_[current_].error = FormatResString(IDS_SAVE_FAILED, info.strFileName.c_str(), system);
  }
  void OnDownloadFailed(const std::string& text) override { rows_[current_].error = text; }
  std::unique_ptr<TransferWait> CreateTransferWait() override {
    return std::make_unique<TerminalWait>([this] { Tick(); });
  }
  void OnDownloadStarted() override {}
  void OnDownloadEnded() override { ClearProgress(); }

  // ---- the session's worker ----
  void OnTransferStatus(const TransferStatus& status) override {
    total_ = status.total;
    done_ = status.done;
  }

  void Message(const std::string& text) {
    ClearProgress();
    std::fprintf(settings_.progress, "trovex-save: %s\n", text.c_str());
    std::fflush(settings_.progress);
  }

 private:
  void PageFailed(const std::string& page, const std::string& error) {
    ++summary_.pagesFailed;
    Message("cannot load " + page + ": " + error);
    if (settings_.json) {
      nlohmann::json line = {{"page", ToUtf8(page)}, {"status", "page-failed"}, {"error", ToUtf8(error)}};
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

  // The row that was under way is complete: count and report it.
  void FinishRow() {
    if (current_ < 0 || current_ >= static_cast<int>(rows_.size())) return;
    RowResult& row = rows_[current_];
    current_ = -1;
    if (row.outcome == RowOutcome::Saved) {
      std::error_code ec;
      const auto size = std::filesystem::file_size(row.target, ec);
      row.bytes = ec ? 0 : static_cast<std::int64_t>(size);
    }
    Report(row);
  }

  void Report(const RowResult& row) {
    switch (row.outcome) {
      case RowOutcome::Saved: ++summary_.saved; summary_.bytes += row.bytes; break;
      case RowOutcome::Skipped: ++summary_.skipped; break;
      case RowOutcome::Failed: ++summary_.failed; break;
      case RowOutcome::Cancelled: ++summary_.cancelled; break;
      case RowOutcome::AlreadySaved: ++summary_.alreadySaved; break;
    }
    if (settings_.json) return WriteOut(RowJson(row));
    std::string line;
    switch (row.outcome) {
      case RowOutcome::Saved:
        line = LoadResString(IDS_STATUS_DONE) + "\t" + row.target + "\t" + KbText(row.bytes);
        break;
      case RowOutcome::Skipped:
        line = FormatResString(IDS_TROVEX_SAVE_LINE_SKIPPED, (row.target.empty() ? row.address : row.target).c_str());
        break;
      case RowOutcome::Failed:
        line = LoadResString(IDS_STATUS_FAILED) + "\t" + row.address + "\t" + row.error;
        break;
      case RowOutcome::Cancelled:
        line = LoadResString(IDS_STATUS_CANCELLED) + "\t" + row.address;
        break;
      case RowOutcome::AlreadySaved:
        line = FormatResString(IDS_TROVEX_SAVE_LINE_ALREADY_SAVED, row.target.c_str());
        break;
    }
    WriteOut(line);
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
  int current_ = -1;
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

const char* OutcomeKey(RowOutcome outcome) {
  switch (outcome) {
    case RowOutcome::Saved: return "saved";
    case RowOutcome::Skipped: return "skipped";
    case RowOutcome::Failed: return "failed";
    case RowOutcome::Cancelled: return "cancelled";
    case RowOutcome::AlreadySaved: return "already-saved";
  }
  return "failed";
}

std::string RowJson(const RowResult& row) {
  nlohmann::json line = {{"page", ToUtf8(row.page)},     {"address", ToUtf8(row.address)},
                         {"target", ToUtf8(row.target)}, {"status", OutcomeKey(row.outcome)},
                         {"bytes", row.bytes},           {"error", ToUtf8(row.error)}};
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string SummaryJson(const Summary& s) {
  nlohmann::json line = {{"summary", true},         {"pages", s.pages},
                         {"pagesFailed", s.pagesFailed}, {"saved", s.saved},
                         {"skipped", s.skipped},    {"failed", s.failed},
                         {"cancelled", s.cancelled}, {"alreadySaved", s.alreadySaved},
                         {"bytes", s.bytes},        {"interrupted", s.interrupted},
                         {"exitCode", s.ExitCode()}};
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
  std::string tail = "  " + FormatResString(IDS_DOWNLOAD_PROGRESS, KbText(done).c_str(),
                                            total > 0 ? KbText(total).c_str() : "? KB");
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
  if (summary.interrupted) run.Message("interrupted");
  return summary;
}

}  // namespace trovex::save_command

// trovex-save: saves the Flash movies of many pages into a folder, without a window.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "pageloader/archive_sources.h"
#include "platform/base/types.h"
#include "platform/error/error.h"
#include "platform/shell/shell.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"
#include "res/strings.h"
#include "save_engine/format.h"
#include "save_engine/target_naming.h"
#include "save_command/options.h"
#include "save_command/save_command.h"
#include "settings/profile.h"

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The first Ctrl+C pauses the run (the download under way is dropped cleanly); a second one
// ends the process at once, for a page load that will not finish.
void OnInterrupt(int) {
  if (g_interrupted.exchange(true)) {
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
  }
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "trovex-save: %s\n%s", problem.c_str(),
               trovex::LoadResString(trovex::IDS_TROVEX_SAVE_USAGE).c_str());
  return trovex::save_command::kExitUsage;
}

// The folder the Save dialog would start in: the stored default or the last one, by the
// stored choice, else the documents folder.
std::string StartFolder() {
  std::string dir = trovex::ReadDirChoice() != 0 ? trovex::ReadDefaultSaveDir() : trovex::ReadLastSaveDir();
  if (dir.empty()) trovex::SpecialFolderPath(trovex::CSIDL_PERSONAL, &dir);
  return dir;
}

}  // namespace

int main(int argc, char** argv) {
  trovex::SetUpProgramLocale();
  namespace sc = trovex::save_command;

  sc::Options options;
  std::string problem;
  if (!sc::ParseOptions(argc, argv, &options, &problem)) return Usage(problem);
  if (options.help) {
    std::fputs(trovex::LoadResString(trovex::IDS_TROVEX_SAVE_USAGE).c_str(), stdout);
    return sc::kExitOk;
  }
  if (options.version) return trovex::PrintProgramVersion("trovex-save");
  const std::vector<std::string> pages = sc::ExpandPages(options.pages, std::cin);
  if (pages.empty()) return Usage(trovex::LoadResString(trovex::IDS_TROVEX_SAVE_NO_PAGE));
  // A bad archive is a bad command line: nothing is made or fetched.
  trovex::browser::OpenedSources sources;
  if (!trovex::browser::OpenArchives(options.archives, &sources, &problem)) {
    std::fprintf(stderr, "trovex-save: %s\n", problem.c_str());
    return sc::kExitUsage;
  }
  for (const std::string& warning : sources.warnings) std::fprintf(stderr, "trovex-save: %s\n", warning.c_str());

  trovex::SetDefaultProfileRoot();
  sc::RunSettings settings;
  settings.json = options.json;
  settings.saveFiles = options.saveFiles;
  settings.plugins = options.plugins;
  settings.pageSource = sources.pages;
  settings.movieSource = sources.archive.get();
  settings.networkFallback = options.archives.fallback;
  settings.nConflictAction = options.nConflictAction >= 0
                                 ? options.nConflictAction
                                 : static_cast<int>(trovex::ReadConflictAction());
  settings.unsizedReserve = trovex::ReadUnsizedReserve();
  settings.progressLine = isatty(STDERR_FILENO) == 1;
  settings.askOnTerminal = isatty(STDERR_FILENO) == 1;

  std::string dir = options.dir.empty() ? StartFolder() : options.dir;
  if (dir.empty()) return Usage(trovex::LoadResString(trovex::IDS_TROVEX_SAVE_NO_FOLDER));
  if (dir[0] != '/') {
    // A command line names folders relative to where it runs.
    std::error_code ec;
    dir = (std::filesystem::current_path(ec) / dir).lexically_normal().string();
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string failure;
  trovex::DirectoryPrompts prompts;
  prompts.askCreate = [](const std::string&) { return true; };  // naming it is asking for it
  prompts.reportFailure = [&failure](const std::string& text) {
    failure = trovex::FormatResString(trovex::IDS_CREATE_DIR_FAILED, text.c_str());
  };
  if (!trovex::EnsureTargetDirectory(dir, trovex::TRUE, prompts)) {
    std::fprintf(stderr, "trovex-save: %s: %s\n", dir.c_str(), failure.c_str());
    return sc::kExitUsage;
  }
  settings.dir = dir;

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  const sc::Summary summary = sc::SavePages(pages, settings, g_interrupted);
  // As the dialog does at the end of every run, whatever its outcome.
  trovex::AppProfile().WriteProfileString(trovex::kSectionTrovex, trovex::kValueLastSaveDir, dir);

  if (options.json) {
    std::printf("%s\n", sc::SummaryJson(summary).c_str());
  }
  const std::string line = trovex::FormatResString(
      trovex::IDS_TROVEX_SAVE_SUMMARY, summary.saved, trovex::FormatGroupedNumber(static_cast<double>(summary.bytes), 0).c_str(),
      summary.skipped, summary.failed, summary.cancelled, summary.alreadySaved, summary.pages - summary.pagesFailed,
      summary.pages);
  std::fprintf(stderr, "trovex-save: %s\n", line.c_str());
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "trovex-save: %s\n",
                 trovex::FormatResString(trovex::IDS_TROVEX_SAVE_CANNOT_WRITE_REPORT,
                                         trovex::SystemErrorText(trovex::Win32ErrorFromErrno(errno)).c_str())
                     .c_str());
    return sc::kExitFailed;
  }
  return summary.ExitCode();
}

// trovex-save: saves the Flash movies of many pages into a folder, without a window.
#include <langinfo.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "pageloader/archive_sources.h"
#include "platform/base/types.h"
#include "platform/shell/shell.h"
#include "platform/text/res_text.h"
#include "platform/text/text.h"
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
  std::fprintf(stderr, "trovex-save: %s\n%s", problem.c_str(), trovex::save_command::kUsage.c_str());
  return trovex::save_command::kExitUsage;
}

// The folder the Save dialog would start in: the stored default or the last one, by the
// stored choice, else the documents folder.
std::string StartFolder() {
  std::string dir = trovex::ReadDirChoice() != 0 ? trovex::ReadDefaultSaveDir() : trovex::ReadLastSaveDir();
  if (!dir.empty()) return dir;
  trovex::LPITEMIDLIST pidl = nullptr;
  if (trovex::FAILED(trovex::SHGetSpecialFolderLocation(nullptr, trovex::CSIDL_PERSONAL, &pidl))) return {};
  char path[trovex::kShellPathMax] = {};
  if (!trovex::SHGetPathFromIDListA(pidl, path)) path[0] = '\0';
  trovex::IMalloc* malloc = nullptr;
  if (trovex::SUCCEEDED(trovex::SHGetMalloc(&malloc)) && malloc) {
    malloc->Free(pidl);
    malloc->Release();
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  namespace sc = trovex::save_command;

  sc::Options options;
  std::string problem;
  if (!sc::ParseOptions(argc, argv, &options, &problem)) return Usage(problem);
  if (options.help) {
    std::fputs(sc::kUsage.c_str(), stdout);
    return sc::kExitOk;
  }
  const std::vector<std::string> pages = sc::ExpandPages(options.pages, std::cin);
  if (pages.empty()) return Usage("no page given");
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
  if (dir.empty()) return Usage("no folder to save into; give one with --dir");
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
  std::fprintf(stderr,
               "trovex-save: %d saved (%lld bytes), %d skipped, %d failed, %d cancelled, %d already saved; "
               "%d of %d pages loaded\n",
               summary.saved, static_cast<long long>(summary.bytes), summary.skipped, summary.failed,
               summary.cancelled, summary.alreadySaved, summary.pages - summary.pagesFailed, summary.pages);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "trovex-save: cannot write the report: %s\n", std::strerror(errno));
    return sc::kExitFailed;
  }
  return summary.ExitCode();
}

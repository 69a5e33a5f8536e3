// How long the Save dialog takes to open on a page with 10,000 movies (the generated site of
// the scan benchmark, read from disk), and what it costs in memory. Needs a display
// (xvfb-run -a build/bench/bench_save_dialog).
#include <sys/resource.h>
#include <wx/app.h>
#include <wx/init.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_site.h"
#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "scan/document_walker.h"
#include "settings/profile.h"
#include "save_dialog/dlg_save.h"

namespace {

using namespace trovex;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

long MaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The dialog ends as soon as its modal loop runs; what it showed is checked on the way.
class TimedDlgSave : public CDlgSave {
 public:
  Clock::time_point initStart, initEnd, shown;
  bool ok = false;

 protected:
  bool OnInitDialog() override {
    initStart = Clock::now();
    bool result = CDlgSave::OnInitDialog();
    initEnd = Clock::now();
    GetWindow()->CallAfter([this] {
      shown = Clock::now();
      const long last = listCtrl->GetItemCount() - 1;
      // Check boxes, images and the URL column lookup still work at the end of the list.
      wxListItem item;
      item.SetId(last);
      item.SetMask(wxLIST_MASK_IMAGE);
      listCtrl->GetItem(item);
      ok = last + 1 == static_cast<long>(fileList.GetCount()) && listCtrl->IsItemChecked(last) &&
           item.GetImage() == kImageDocument && RowRecord(static_cast<int>(last)).nSize == 3 &&
           fileList.GetCount() == static_cast<size_t>(last + 1);
      EndDialog(IDCANCEL);
    });
    return result;
  }
};

}  // namespace

int main(int argc, char** argv) {
  wxApp::SetInstance(new wxApp);
  wxInitializer toolkit(argc, argv);
  if (!toolkit.IsOk()) {
    std::fprintf(stderr, "bench_save_dialog: needs a display (run it under xvfb-run -a)\n");
    return 1;
  }
  std::setlocale(LC_ALL, "C.UTF-8");
  std::string root = (fs::temp_directory_path() / "trovex-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  // Settings and cache go to the temporary folder, not to the user's.
  for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
    setenv(name, (root + "/" + name).c_str(), 1);
  SetDefaultProfileRoot();

  bench::Site site = bench::MakeSite();
  if (!bench::WriteSite(site, root + "/site")) return 1;
  std::string error;
  auto browser = browser::LoadPage(browser::FilePathToUrl(root + "/site/index.html"), {}, &error);
  if (!browser) {
    std::fprintf(stderr, "bench_save_dialog: %s\n", error.c_str());
    return 1;
  }
  auto document = browser::DocumentOf(browser.Get());
  SWFFileList movies;
  ScanDocument(document.Get(), movies);
  std::printf("page: %zu movies\n", movies.GetCount());

  std::vector<double> times, inits;
  const long rssBefore = MaxRssKb();
  bool allOk = true;
  for (int run = 0; run < 5; ++run) {
    TimedDlgSave dlg;
    dlg.fileList = movies;
    const Clock::time_point start = Clock::now();
    dlg.DoModal();
    times.push_back(Ms(dlg.shown - start));
    inits.push_back(Ms(dlg.initEnd - dlg.initStart));
    allOk = allOk && dlg.ok;
  }
  std::sort(times.begin(), times.end());
  std::sort(inits.begin(), inits.end());
  std::printf("open until the modal loop runs: min %.0f ms, median %.0f ms, max %.0f ms\n", times.front(),
              times[times.size() / 2], times.back());
  std::printf("of which OnInitDialog (list fill included): median %.0f ms\n", inits[inits.size() / 2]);
  std::printf("rows, check boxes, images, URL lookup: %s\n", allOk ? "ok" : "WRONG");
  std::printf("peak memory (max RSS): %.1f MB (%.1f MB more than before the dialog)\n", MaxRssKb() / 1024.0,
              (MaxRssKb() - rssBefore) / 1024.0);
  fs::remove_all(root);
  return allOk ? 0 : 1;
}

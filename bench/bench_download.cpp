// Download and copy throughput, one mode per process so that an outside timer (farm-bench)
// measures each whole, with its peak memory:
//   bench_download serve MIB            serve MIB MiB at the printed address until stdin closes
//   bench_download session URL          the download session, the GUI thread pumping, progress
//                                       handed to a gauge as the latest totals
//   bench_download session-blocking URL the same, but each 1 KiB read waits until the gauge
//                                       has shown it (a blocking cross-thread call)
//   bench_download bare URL             the library alone, 1024-byte reads, into a file
//   bench_download copy SOURCE TARGET   the save run's copy (CopyFileA)
//   bench_download compare URL N        in one process with the toolkit up: N rounds of bare,
//                                       session and session-blocking, timing only the
//                                       transfers; prints medians and the peak memory growth
// session, session-blocking and copy need a display; each checks its result and exits 1 on
// failure.
#include <curl/curl.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/init.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <vector>
#include <algorithm>
#include <iostream>
#include <string>

#include "framework/ui_thread.h"
#include "platform/fs/fs.h"
#include "save_engine/download_session.h"
#include "tests/support/http_server.h"

namespace {

std::string TargetPath() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/bench_download." + std::to_string(::getpid());
}

int Serve(long mib) {
  trovex::test::TestHttpServer server;
  const std::string chunk(1 << 20, 'F');
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " +
                           std::to_string(static_cast<long long>(mib) << 20) +
                           "\r\nConnection: close\r\n\r\n";
  server.Handle("/movie.swf", [&](const trovex::test::HttpRequest&, trovex::test::HttpConnection& c) {
    if (!c.Write(head)) return;
    for (long i = 0; i < mib; ++i)
      if (!c.Write(chunk)) return;
  });
  std::cout << server.Url("/movie.swf") << std::endl;
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

// The gauge a Save dialog would show, fed from the worker.
class ProgressObserver : public trovex::DownloadObserver {
 public:
  ProgressObserver(wxGauge* gauge, bool blocking)
      : gauge_(gauge), blocking_(blocking), latest_(gauge, [gauge](const std::int64_t& bytes) {
          gauge->SetValue(static_cast<int>(bytes >> 20));
        }) {}
  void OnTransferStatus(const trovex::TransferStatus& status) override {
    if (status.current == 0) {
      trovex::RunOnUiThread([g = gauge_, total = status.total] { g->SetRange(static_cast<int>(total >> 20) + 1); });
      return;
    }
    const std::int64_t bytes = status.current;
    if (!blocking_) {
      latest_.Post(bytes);
      return;
    }
    std::promise<void> shown;
    trovex::RunOnUiThread([&] {
      gauge_->SetValue(static_cast<int>(bytes >> 20));
      shown.set_value();
    });
    shown.get_future().wait();
  }
  void Flush() { latest_.Flush(); }

 private:
  wxGauge* gauge_;
  bool blocking_;
  trovex::LatestValuePoster<std::int64_t> latest_;
};

class Waiter : public trovex::TransferWait {
 public:
  void Wait() override { wait_.Wait(); }
  void Wake() override { wait_.Wake(); }

 private:
  trovex::UiWait wait_;
};

bool RunSession(wxGauge* gauge, const std::string& url, bool blocking) {
  const std::string target = TargetPath();
  trovex::BOOL ok = 0;
  {
    ProgressObserver observer(gauge, blocking);
    Waiter waiter;
    trovex::CSWFDownloadSession session;
    session.pOwner = &observer;
    session.SetTransferWait(&waiter);
    ok = session.Download(url, target);
    observer.Flush();
    if (!ok) std::cerr << "download failed: " << session.GetErrorText() << "\n";
  }
  ::unlink(target.c_str());
  return ok != 0;
}

int Session(int argc, char** argv, const std::string& url, bool blocking) {
  wxApp::SetInstance(new wxApp);
  wxInitializer toolkit(argc, argv);
  if (!toolkit.IsOk()) return 1;
  auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
  auto* gauge = new wxGauge(frame, wxID_ANY, 100);
  frame->Show();
  bool ok = RunSession(gauge, url, blocking);
  frame->Destroy();
  return ok ? 0 : 1;
}

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* user) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(user)) * size;
}

int Bare(const std::string& url) {
  const std::string target = TargetPath();
  std::FILE* out = std::fopen(target.c_str(), "wb");
  if (!out) return 1;
  std::setvbuf(out, nullptr, _IONBF, 0);  // one write per read, as the session does
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* h = curl_easy_init();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 1024L);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, out);
  CURLcode rc = curl_easy_perform(h);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(h);
  bool ok = rc == CURLE_OK && status == 200 && ::fsync(fileno(out)) == 0;
  std::fclose(out);
  ::unlink(target.c_str());
  return ok ? 0 : 1;
}

long StatusKib(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  long value = -1;
  while (f && std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, std::strlen(field)) == 0) value = std::atol(line + std::strlen(field));
  if (f) std::fclose(f);
  return value;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Compare(int argc, char** argv, const std::string& url, int rounds) {
  wxApp::SetInstance(new wxApp);
  wxInitializer toolkit(argc, argv);
  if (!toolkit.IsOk()) return 1;
  auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
  auto* gauge = new wxGauge(frame, wxID_ANY, 100);
  frame->Show();
  wxTheApp->Yield();
  // Peak memory from here on: the toolkit's own is not the transfer's.
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
  long baseKib = StatusKib("VmRSS:");
  std::vector<double> bare, latest, blocking;
  auto time = [](auto&& fn) {
    auto start = std::chrono::steady_clock::now();
    bool ok = fn();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok ? s : -1.0;
  };
  for (int i = 0; i < rounds; ++i) {
    bare.push_back(time([&] { return Bare(url) == 0; }));
    latest.push_back(time([&] { return RunSession(gauge, url, false); }));
    blocking.push_back(time([&] { return RunSession(gauge, url, true); }));
  }
  long peakKib = StatusKib("VmHWM:");
  frame->Destroy();
  double b = Median(bare), l = Median(latest), k = Median(blocking);
  std::printf("bare 1 KiB reads      %.3f s\n", b);
  std::printf("session, latest-only  %.3f s  (%.2fx the bare speed)\n", l, b / l);
  std::printf("session, blocking     %.3f s  (%.2fx the bare speed, %+.0f%% vs latest-only)\n", k,
              b / k, (k / l - 1) * 100);
  std::printf("peak RSS growth       %.1f MiB\n", (peakKib - baseKib) / 1024.0);
  for (double v : bare) if (v < 0) return 1;
  for (double v : latest) if (v < 0) return 1;
  for (double v : blocking) if (v < 0) return 1;
  return 0;
}

int Copy(const char* source, const char* target) {
  return trovex::CopyFileA(source, target, FALSE) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve" && argc == 3) return Serve(std::atol(argv[2]));
  if (mode == "session" && argc == 3) return Session(argc, argv, argv[2], false);
  if (mode == "session-blocking" && argc == 3) return Session(argc, argv, argv[2], true);
  if (mode == "bare" && argc == 3) return Bare(argv[2]);
  if (mode == "compare" && argc == 4) return Compare(argc, argv, argv[2], std::atoi(argv[3]));
  if (mode == "copy" && argc == 4) return Copy(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: bench_download serve MIB | session URL | session-blocking URL | bare URL | "
               "copy SOURCE TARGET\n");
  return 2;
}

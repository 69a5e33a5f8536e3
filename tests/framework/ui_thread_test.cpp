// Workers reaching windows: hand-offs run on the GUI thread, skip closed windows, coalesce to
// the latest value, and the GUI thread keeps dispatching events while it waits for a worker.
#include "framework/ui_thread.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/frame.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace trovex {
namespace {

using namespace std::chrono_literals;

// Runs pending events until `done` or a time limit.
void PumpUntil(const std::function<bool()>& done) {
  auto end = std::chrono::steady_clock::now() + 5s;
  while (!done() && std::chrono::steady_clock::now() < end) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->Yield(true);
    std::this_thread::sleep_for(1ms);
  }
}

TEST(UiThread, PostsRunOnTheGuiThreadAndSkipClosedWindows) {
  for (bool closeFirst : {false, true}) {
    SCOPED_TRACE(closeFirst ? "window closed first" : "window open");
    auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
    WindowPoster poster(frame);
    std::atomic<int> ran{0};
    std::thread::id ranOn;
    std::thread worker([&] { poster.Post([&] { ranOn = std::this_thread::get_id(); ++ran; }); });
    worker.join();
    if (closeFirst) delete frame;
    // A marker posted after the worker's: once it ran, the worker's post has been handled.
    bool marker = false;
    RunOnUiThread([&] { marker = true; });
    PumpUntil([&] { return marker; });
    EXPECT_EQ(ran, closeFirst ? 0 : 1);
    if (!closeFirst) {
      EXPECT_EQ(ranOn, std::this_thread::get_id());
      delete frame;
    }
  }
}

TEST(UiThread, LatestValuePosterCoalescesAndFlushesTheLastValue) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
  std::vector<int> seen;
  LatestValuePoster<int> poster(frame, [&](const int& v) { seen.push_back(v); });
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 1; i <= 200000; ++i) poster.Post(i);
    finished = true;
  });
  PumpUntil([&] { return finished.load(); });
  worker.join();
  PumpUntil([] { return !wxTheApp->HasPendingEvents(); });
  poster.Flush();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 200000);
  EXPECT_LT(seen.size(), 2000u);  // far fewer hand-offs than values
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  delete frame;
  // Nothing reaches a closed window, not even through Flush.
  auto* gone = new wxFrame(nullptr, wxID_ANY, "gone");
  LatestValuePoster<int> orphan(gone, [&](const int& v) { seen.push_back(-v); });
  delete gone;
  orphan.Post(7);
  orphan.Flush();
  EXPECT_EQ(seen.back(), 200000);
}

// A value held back because it came soon after the one before still arrives on its own: a
// transfer that stalls after it must not show an old count until something else is posted.
TEST(UiThread, LatestValuePosterDeliversAHeldBackValueWithoutFlush) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "target");
  std::vector<int> seen;
  LatestValuePoster<int> poster(frame, [&](const int& v) { seen.push_back(v); }, 500ms);
  poster.Post(1);
  PumpUntil([&] { return !seen.empty(); });
  poster.Post(2);  // within the interval of the first: held back
  PumpUntil([&] { return seen.back() == 2; });
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  // The window gone while a value is held back: nothing reaches it.
  poster.Post(3);
  delete frame;
  auto until = std::chrono::steady_clock::now() + 700ms;
  PumpUntil([&] { return std::chrono::steady_clock::now() > until; });
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST(UiThread, WaitKeepsDispatchingEventsUntilTheWorkerWakesIt) {
  UiWait wait;
  int eventsDuringWait = 0;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(50ms);
      RunOnUiThread([&] { ++eventsDuringWait; });
    }
    std::this_thread::sleep_for(50ms);
    wait.Wake();
  });
  auto start = std::chrono::steady_clock::now();
  wait.Wait();
  worker.join();
  EXPECT_EQ(eventsDuringWait, 3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
  // A wake that comes before the wait ends it at once.
  wait.Wake();
  start = std::chrono::steady_clock::now();
  wait.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
}

// One wait object serves a run's downloads one after the other: a wake consumed before its
// wait began must not end the next transfer's wait early.
TEST(UiWaitTest, AnEarlyWakeDoesNotEndTheNextWait) {
  UiWait wait;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    wait.Wake();  // the first transfer ended before its wait began
    wait.Wait();
    std::atomic<bool> ended{false};
    std::thread worker([&] {
      std::this_thread::sleep_for(200ms);
      ended = true;
      wait.Wake();
    });
    wait.Wait();
    EXPECT_TRUE(ended.load());
    worker.join();
  }
}

}  // namespace
}  // namespace trovex

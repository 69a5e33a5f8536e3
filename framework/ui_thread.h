// Reaching a window from a worker thread. A worker never touches a window: it hands work to the
// window's (the GUI) thread, and the hand-off is guarded by a weak reference taken on that
// thread, so a window closed meanwhile is simply skipped. Also the GUI thread's way of waiting
// for a worker while it keeps dispatching events.
#pragma once

#include <type_traits>  // wx/weakref.h needs it first

#include <wx/window.h>
#include <wx/weakref.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class wxEventLoopBase;

namespace trovex {

// Queues fn to run on the GUI thread. Any thread; never blocks.
void RunOnUiThread(std::function<void()> fn);

// Created on the GUI thread for one window; Post may then be called from any thread, as long
// as the poster itself lives (its owner outlives the workers that use it).
class WindowPoster {
 public:
  explicit WindowPoster(wxWindow* window);
  // fn runs on the GUI thread, unless the window has been destroyed by then.
  void Post(std::function<void()> fn) const;

 private:
  struct State {
    wxWeakRef<wxWindow> window;
  };
  std::shared_ptr<State> state_;
};

// Hands the newest of a stream of values to a window: at most one hand-off is queued at a
// time, at most one per `interval`, and it carries the latest value, so a fast worker neither
// floods the event queue nor waits for the window. A closed window is never touched. The
// last value of a burst may wait for Flush, which the window calls when the stream ends.
template <class T>
class LatestValuePoster {
 public:
  // GUI thread.
  LatestValuePoster(wxWindow* window, std::function<void(const T&)> apply,
                    std::chrono::milliseconds interval = std::chrono::milliseconds(20))
      : state_(std::make_shared<State>()) {
    state_->window = window;
    state_->apply = std::move(apply);
    state_->interval = interval;
  }
  // Any thread.
  void Post(T value) {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->value = std::move(value);
      if (state_->queued) return;
      auto now = std::chrono::steady_clock::now();
      if (now - state_->lastPost < state_->interval) return;
      state_->lastPost = now;
      state_->queued = true;
    }
    RunOnUiThread([s = state_] { Deliver(*s); });
  }
  // GUI thread: applies a value still waiting, now.
  void Flush() { Deliver(*state_); }

 private:
  struct State {
    std::mutex mutex;
    std::optional<T> value;
    bool queued = false;
    std::chrono::steady_clock::time_point lastPost{};
    std::chrono::milliseconds interval{0};
    wxWeakRef<wxWindow> window;
    std::function<void(const T&)> apply;
  };
  static void Deliver(State& s) {
    std::optional<T> value;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      value.swap(s.value);
      s.queued = false;
    }
    if (value && s.window) s.apply(*value);
  }
  std::shared_ptr<State> state_;
};

// The GUI thread waits in Wait, dispatching events (painting, clicks, the close box), until
// another thread calls Wake. Wake may come before Wait.
class UiWait {
 public:
  UiWait();
  void Wait();
  void Wake();

 private:
  struct State {
    std::atomic<bool> woken{false};
    wxEventLoopBase* loop = nullptr;  // GUI thread only
  };
  std::shared_ptr<State> state_;
};

}  // namespace trovex

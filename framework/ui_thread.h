// Reaching a window from a worker thread. A worker never touches a window: it hands work to the
// window's (the GUI) thread, and the hand-off is guarded by a weak reference taken on that
// thread, so a window closed meanwhile is simply skipped. Also the GUI thread's way of waiting
// for a worker while it keeps dispatching events.
#pragma once

#include <type_traits>  // wx/weakref.h needs it first

#include <wx/window.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <algorithm>
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
// floods the event queue nor waits for the window. A value that comes within the interval is
// handed over when the interval ends, so the last value of a burst arrives even if the stream
// stalls. A closed window is never touched. Flush applies a waiting value at once.
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
    std::chrono::steady_clock::duration wait{};
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->value = std::move(value);
      if (state_->queued) return;
      state_->queued = true;
      wait = state_->lastPost + state_->interval - std::chrono::steady_clock::now();
    }
    if (wait <= std::chrono::steady_clock::duration::zero())
      RunOnUiThread([s = state_] { Deliver(*s); });
    else
      RunOnUiThread([s = state_, wait] { DeliverLater(s, wait); });
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
    std::unique_ptr<wxTimer> timer;  // GUI thread only
  };
  static void Deliver(State& s) {
    std::optional<T> value;
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      value.swap(s.value);
      s.queued = false;
      s.lastPost = std::chrono::steady_clock::now();
    }
    if (value && s.window) s.apply(*value);
  }
  // GUI thread. The timer belongs to the state, so it cannot fire once the state is gone.
  static void DeliverLater(const std::shared_ptr<State>& s, std::chrono::steady_clock::duration wait) {
    if (!s->timer) {
      s->timer = std::make_unique<wxTimer>();
      s->timer->Bind(wxEVT_TIMER, [state = s.get()](wxTimerEvent&) { Deliver(*state); });
    }
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    s->timer->StartOnce(static_cast<int>(std::max<decltype(ms)>(ms, 1)));
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

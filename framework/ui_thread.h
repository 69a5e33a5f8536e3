// Reaching a window from a worker thread. A worker never touches a window: it hands work to the
// window's (the GUI) thread, and the hand-off is guarded by a weak reference taken on that
// thread, so a window closed meanwhile is simply skipped. Also the GUI thread's way of waiting
// for a worker while it keeps dispatching events.
#pragma once

#include <type_traits>  // wx/weakref.h needs it first

#include <wx/window.h>
#include <wx/weakref.h>

#include <atomic>
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
// time and it carries the latest value, so a fast worker neither floods the event queue nor
// waits for the window. A closed window is never touched.
template <class T>
class LatestValuePoster {
 public:
  // GUI thread.
  LatestValuePoster(wxWindow* window, std::function<void(const T&)> apply)
      : state_(std::make_shared<State>()) {
    state_->window = window;
    state_->apply = std::move(apply);
  }
  // Any thread.
  void Post(T value) {
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->value = std::move(value);
      if (state_->queued) return;
      state_->queued = true;
    }
    RunOnUiThread([s = state_] { Deliver(*s); });
  }
  // GUI thread: applies a value still waiting, now (before the window reads the final state).
  void Flush() { Deliver(*state_); }

 private:
  struct State {
    std::mutex mutex;
    std::optional<T> value;
    bool queued = false;
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

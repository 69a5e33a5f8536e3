#include "framework/ui_thread.h"

#include <wx/app.h>
#include <wx/evtloop.h>

#include <chrono>
#include <thread>

namespace trovex {

void RunOnUiThread(std::function<void()> fn) {
  // The application object, not a window: it lives as long as the GUI thread runs events,
  // and queueing to it is thread-safe.
  if (wxTheApp) wxTheApp->CallAfter(std::move(fn));
}

WindowPoster::WindowPoster(wxWindow* window) : state_(std::make_shared<State>()) {
  state_->window = window;
}

void WindowPoster::Post(std::function<void()> fn) const {
  RunOnUiThread([s = state_, fn = std::move(fn)] {
    if (s->window) fn();
  });
}

UiWait::UiWait() : state_(std::make_shared<State>()) {}

void UiWait::Wait() {
  if (state_->woken.exchange(false)) return;
  if (!wxTheApp) {
    // No event loop to run: plain waiting.
    while (!state_->woken.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return;
  }
  wxGUIEventLoop loop;
  state_->loop = &loop;
  loop.Run();
  state_->loop = nullptr;
  state_->woken = false;
}

void UiWait::Wake() {
  state_->woken = true;
  RunOnUiThread([s = state_] {
    // A wake the waiter already took (it came before the wait began) must not end a later
    // wait of the same object.
    if (!s->loop || !s->woken.load()) return;
    // A modal window opened meanwhile runs its own loop on top; ours ends after it.
    if (s->loop->IsRunning())
      s->loop->Exit();
    else
      s->loop->ScheduleExit();
  });
}

}  // namespace trovex

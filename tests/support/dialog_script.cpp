#include "tests/support/dialog_script.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace trovex::test {
namespace {

DialogScript* g_active = nullptr;

}  // namespace

void InstallTemplateDialogGuard() {
  CDialog::SetModalHook([](CDialog& dlg) {
    if (!g_active)
      throw std::logic_error("unexpected dialog " + std::to_string(dlg.GetTemplateId()) +
                             " (no DialogScript expects it)");
    g_active->Handle(dlg);
  });
}

DialogScript::DialogScript() : previous_(g_active) { g_active = this; }

DialogScript::~DialogScript() {
  g_active = previous_;
  if (!expected_.empty() && !testing::Test::HasFailure()) {
    ADD_FAILURE() << expected_.size() << " expected dialog(s) never shown, the next being "
                  << expected_.front().templateId;
  }
}

DialogScript& DialogScript::Expect(int templateId, Action action) {
  expected_.push_back({templateId, std::move(action)});
  return *this;
}

void DialogScript::Handle(CDialog& dlg) {
  if (expected_.empty())
    throw std::logic_error("unexpected dialog " + std::to_string(dlg.GetTemplateId()) +
                           " (the script expects no more)");
  Step step = std::move(expected_.front());
  expected_.pop_front();
  if (step.templateId != dlg.GetTemplateId())
    throw std::logic_error("dialog " + std::to_string(dlg.GetTemplateId()) + " shown where " +
                           std::to_string(step.templateId) + " was expected");
  step.action(dlg);
}

std::optional<bool> HasFocus(wxWindow* ctrl) {
  // Focus changes arrive from the display server; give them time.
  for (int i = 0; i < 25; ++i) {
    if (wxWindow::FindFocus() == ctrl) return true;
    PumpEvents(20);
  }
  wxWindow* focus = wxWindow::FindFocus();
  if (!focus) return std::nullopt;
  return focus == ctrl;
}

void PumpEvents(int milliseconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  std::unique_ptr<wxGUIEventLoop> own;
  if (!loop) {
    own = std::make_unique<wxGUIEventLoop>();
    loop = own.get();
  }
  wxEventLoopActivator activate(loop);
  while (std::chrono::steady_clock::now() < end) {
    while (loop->Pending()) loop->Dispatch();
    if (wxTheApp) wxTheApp->ProcessPendingEvents();
    loop->ProcessIdle();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool CaptureScreen(const std::string& pngPath) {
  std::string cmd = "import -window root '" + pngPath + "' 2>/dev/null";
  return std::system(cmd.c_str()) == 0;
}

}  // namespace trovex::test

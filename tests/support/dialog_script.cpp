#include "tests/support/dialog_script.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

// Last: its macros (None, Status) clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

wxImage GrabScreen(const wxRect& screenRect) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return wxImage();
  const int screen = DefaultScreen(display);
  const wxRect rect = screenRect.Intersect(wxRect(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)));
  wxImage picture;
  XImage* image = rect.IsEmpty() ? nullptr
                                 : XGetImage(display, RootWindow(display, screen), rect.x, rect.y, rect.width,
                                             rect.height, AllPlanes, ZPixmap);
  if (image) {
    picture.Create(rect.width, rect.height, false);
    for (int y = 0; y < rect.height; ++y) {
      for (int x = 0; x < rect.width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        picture.SetRGB(x, y, (pixel & image->red_mask) >> 16, (pixel & image->green_mask) >> 8, pixel & image->blue_mask);
      }
    }
    XDestroyImage(image);
  }
  XCloseDisplay(display);
  return picture;
}

namespace {

void ExpectChildrenInside(wxWindow* parent) {
  const wxRect area(parent->GetClientSize());
  for (wxWindow* child : parent->GetChildren()) {
    if (!child->IsShown() || child->IsTopLevel()) continue;
    EXPECT_TRUE(area.Contains(child->GetRect()))
        << "control " << child->GetId() << " (" << child->GetLabel().utf8_string() << ") at "
        << child->GetRect().x << "," << child->GetRect().y << " size " << child->GetRect().width << "x"
        << child->GetRect().height << " is cut by its parent of " << area.width << "x" << area.height;
    ExpectChildrenInside(child);
  }
}

}  // namespace

void ExpectDrawnAndUnclipped(wxWindow* window, const std::string& shotName, double minInk) {
  ASSERT_NE(window, nullptr);
  PumpEvents(300);
  const wxImage shown = GrabScreen(window->GetScreenRect());
  ASSERT_TRUE(shown.IsOk()) << "the display shows nothing of " << shotName;
  wxImage blank(shown.GetSize(), false);
  const wxColour bg = window->GetBackgroundColour();
  blank.SetRGB(wxRect(shown.GetSize()), bg.Red(), bg.Green(), bg.Blue());
  EXPECT_GE(1 - SamePixelShare(shown, blank, 24), minInk) << shotName << " is blank";
  ExpectChildrenInside(window);
  if (const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR"))
    EXPECT_TRUE(CaptureScreen(std::string(dir) + "/" + shotName));
}

double SamePixelShare(const wxImage& a, const wxImage& b, int tolerance) {
  if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize()) return 0;
  const long pixels = static_cast<long>(a.GetWidth()) * a.GetHeight();
  const unsigned char* p = a.GetData();
  const unsigned char* q = b.GetData();
  long same = 0;
  for (long i = 0; i < pixels; ++i, p += 3, q += 3) {
    if (std::abs(p[0] - q[0]) <= tolerance && std::abs(p[1] - q[1]) <= tolerance && std::abs(p[2] - q[2]) <= tolerance)
      ++same;
  }
  return pixels ? static_cast<double>(same) / pixels : 0;
}

}  // namespace trovex::test

// Looking at the preview on the screen: grabs of the X server's picture and a test for "not blank".
#pragma once

#include <wx/image.h>
#include <wx/window.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/preview/preview_test_dialog.h"
#include "tests/support/temp_env.h"

namespace trovex::test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// What is on screen inside a window, read from the X server as a screenshot tool does (the
// toolkit's screen context may hand back an old picture). Kept when a screenshot folder is given.
inline wxImage Grab(wxWindow* w, const std::string& name) {
  static TempDir scratch;
  const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR");
  const std::string base = (dir ? std::string(dir) : scratch.str()) + "/preview_" + name;
  // The client area only: a border alone must not count as a picture.
  const wxRect r(w->ClientToScreen(wxPoint(0, 0)), w->GetClientSize());
  const std::string cmd = wxString::Format("import -window root -crop %dx%d+%d+%d +repage '%s.png' && "
                                           "import -window root '%s_screen.png'",
                                           r.width, r.height, r.x, r.y, base, base)
                              .ToStdString();
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
  wxImage image;
  EXPECT_TRUE(image.LoadFile(wxString::FromUTF8(base + ".png"), wxBITMAP_TYPE_PNG)) << base;
  return image;
}

// Spread of the grey levels: a blank area has none.
inline double Variance(const wxImage& image) {
  double sum = 0, sum2 = 0;
  const long n = static_cast<long>(image.GetWidth()) * image.GetHeight();
  const unsigned char* p = image.GetData();
  for (long i = 0; i < n; ++i) {
    const double v = (p[3 * i] + p[3 * i + 1] + p[3 * i + 2]) / 3.0;
    sum += v;
    sum2 += v * v;
  }
  return n ? sum2 / n - (sum / n) * (sum / n) : 0;
}

// Waits until the area shows something (drawing lags behind the page's reports).
inline bool WaitForPicture(wxWindow* w, const std::string& name) {
  const auto end = Clock::now() + 10s;
  while (Clock::now() < end) {
    if (Variance(Grab(w, name)) > 50.0) return true;
    PumpUntil([] { return false; }, 200ms);
  }
  return false;
}

struct Events {
  std::vector<std::pair<std::string, long>> seen;
  bool Has(const std::string& kind, long id = -1) const {
    for (const auto& [k, i] : seen) {
      if (k == kind && (id < 0 || i == id)) return true;
    }
    return false;
  }
};

}  // namespace trovex::test

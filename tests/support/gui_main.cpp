// Main of the GUI test programs: starts wx without running its main loop, turns wx asserts
// into exceptions so an unexpected dialog fails a test instead of hanging it, then runs the
// tests.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

void ThrowingAssertHandler(const wxString& file, int line, const wxString& func,
                           const wxString& cond, const wxString& msg) {
  throw std::logic_error(std::string("wx assertion: ") + file.ToStdString() + ":" +
                         std::to_string(line) + " " + func.ToStdString() + " " +
                         cond.ToStdString() + " " + msg.ToStdString());
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  wxInitializer init(argc, argv);
  if (!init.IsOk()) {
    std::fprintf(stderr, "cannot start the toolkit (is DISPLAY set?)\n");
    return 1;
  }
  std::setlocale(LC_ALL, "");
  wxSetAssertHandler(ThrowingAssertHandler);
  return RUN_ALL_TESTS();
}

// Main of the GUI test programs: starts the toolkit without running its main loop, turns wx
// asserts into exceptions and lets exceptions thrown inside event loops reach the test, so an
// unexpected dialog fails a test instead of hanging it; then runs the tests.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "framework/dialog.h"
#include "tests/support/dialog_script.h"

namespace {

void ThrowingAssertHandler(const wxString& file, int line, const wxString& func,
                           const wxString& cond, const wxString& msg) {
  throw std::logic_error(std::string("wx assertion: ") + file.ToStdString() + ":" +
                         std::to_string(line) + " " + func.ToStdString() + " " +
                         cond.ToStdString() + " " + msg.ToStdString());
}

// A GUI application object whose event loops hand exceptions on to their caller.
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
  bool StoreCurrentException() override {
    if (stored_) return false;  // keep the first; a second one ends the program
    stored_ = std::current_exception();
    return true;
  }
  void RethrowStoredException() override {
    if (stored_) {
      std::exception_ptr e = stored_;
      stored_ = nullptr;
      std::rethrow_exception(e);
    }
  }

 private:
  std::exception_ptr stored_;
};

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  testing::InitGoogleTest(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  wxApp::SetInstance(new TestApp);
  wxInitializer init(argc, argv);
  if (!init.IsOk()) {
    std::fprintf(stderr, "cannot start the toolkit (is DISPLAY set?)\n");
    return 1;
  }
  std::setlocale(LC_ALL, "");
  wxSetAssertHandler(ThrowingAssertHandler);
  trovex::test::InstallTemplateDialogGuard();
  return RUN_ALL_TESTS();
}

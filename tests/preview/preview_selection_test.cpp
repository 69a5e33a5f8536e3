// The preview's selection logic against a control that only records what it is asked to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "preview/shockwave_flash.h"
#include "tests/preview/preview_test_dialog.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

namespace trovex {

std::vector<std::string> g_calls;
int g_failCreates = 0;

class RecordingFlash : public CShockwaveFlash {
 public:
  ~RecordingFlash() override { g_calls.push_back("destroy " + std::to_string(GetId())); }
  BOOL Create(const char* name, DWORD style, const wxRect& rect, wxWindow* parent, UINT id,
              const FlashProperties* persist, const char*) override {
    g_calls.push_back(wxString::Format("create %08x %u %d,%d,%d,%d %s%s", style, id, rect.x, rect.y, rect.width,
                                       rect.height, persist ? "persist:" + persist->strQuality : "defaults",
                                       *name ? " named" : "")
                          .ToStdString());
    if (g_failCreates > 0) {
      --g_failCreates;
      return FALSE;
    }
    return wxWindow::Create(parent, static_cast<int>(id), rect.GetPosition(), rect.GetSize());
  }
  void SetRedraw(bool redraw) override { g_calls.push_back(redraw ? "redraw on" : "redraw off"); }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    std::string call = "invoke " + std::to_string(id) + (flags == DISPATCH_PROPERTYPUT ? " put" : "");
    for (UINT i = 0; params && i < params->cArgs; ++i) {
      const VARIANT& v = params->rgvarg[i];
      call += v.vt == VT_BSTR ? " \"" + BstrToAnsi(v.bstrVal) + "\"" : v.vt == VT_I4 ? " " + std::to_string(v.lVal) : " ?";
    }
    g_calls.push_back(call);
    return S_OK;
  }

 private:
  wxDECLARE_DYNAMIC_CLASS(RecordingFlash);
};
wxIMPLEMENT_DYNAMIC_CLASS(RecordingFlash, CShockwaveFlash);

namespace {

using test::PreviewTestDlg;

class PreviewSelection : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_failCreates = 0;
    saved_ = dir_.WriteFile("saved/b.swf", "FWS");
    // Rows in address order: a (cache copy), b (saved, no cache copy), c (saved, file gone), d (network).
    rows_ = {
        {"http://h/a.swf", "/cache/a[1].swf", "a.swf", "", 10, 0},
        {"http://h/b.swf", "", "b.swf", saved_, 10, 1},
        {"http://h/c.swf", "", "c.swf", dir_.str() + "/saved/c.swf", 10, 1},
        {"http://h/d.swf", "", "d.swf", saved_, 10, 0},
    };
  }

  // Runs the dialog, calls `act` inside it with the record log cleared after opening.
  void Run(const std::function<void(PreviewTestDlg&)>& act) {
    PreviewTestDlg dlg(rows_, {nullptr, wxCLASSINFO(RecordingFlash)});
    dlg.onAnchor = [](const std::string& a) { g_calls.push_back(a); };
    test::DialogScript script;
    script.Expect(1000, [&](CDialog&) {
      opened_ = g_calls;
      g_calls.clear();
      act(dlg);
      dlg.EndDialog(2);
    });
    dlg.DoModal();
  }

  std::vector<std::string> Reset(const std::string& rect = "") const {
    return {"remove",   "redraw off",        "destroy 4096",        "create 50800000 4096 " + (rect.empty() ? rect_ : rect) + " defaults",
            "invoke 113", "invoke 102 put \"1\"", "invoke 118 0", "redraw on", "anchor 50,0-100,100"};
  }
  static std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  test::TempDir dir_;
  std::string saved_;
  std::vector<SWFFileInfo> rows_;
  std::vector<std::string> opened_;
  std::string rect_;
};

// The control's interface comes with a counted reference, as every query's does.
TEST(ShockwaveFlashControl, QueryInterfaceHandsOutACountedReference) {
  CShockwaveFlash control;
  void* out = nullptr;
  ASSERT_EQ(control.QueryInterface(IID_IDispatch, &out), S_OK);
  EXPECT_EQ(control.References(), 1u);
  static_cast<IDispatch*>(out)->Release();
  EXPECT_EQ(control.References(), 0u);
}

TEST_F(PreviewSelection, OpeningReplacesTheTemplateControlAtOnce) {
  Run([&](PreviewTestDlg& dlg) {
    EXPECT_EQ(dlg.flashCtrl.GetWindow()->GetId(), 4096);
    EXPECT_EQ(dlg.nPreviewItem, -1);
  });
  // The template's control, with the dialog's init data, at the template's place ...
  ASSERT_GE(opened_.size(), 2u);
  const std::string prefix = "create 50000000 1038 ";
  ASSERT_EQ(opened_[0].rfind(prefix, 0), 0u) << opened_[0];
  const std::string rect = opened_[0].substr(prefix.size(), opened_[0].find(' ', prefix.size()) - prefix.size());
  EXPECT_EQ(opened_[0], prefix + rect + " persist:High");
  // ... replaced at once by an empty control with defaults at the same place.
  std::vector<std::string> expected = Reset(rect);
  expected[2] = "destroy 1038";
  EXPECT_EQ(std::vector<std::string>(opened_.begin() + 1, opened_.end()), expected);
}

TEST_F(PreviewSelection, ClickingARowPlaysItsLocalCopySavedCopyOrAddress) {
  struct Case {
    long row;
    std::string movie;
  };
  Run([&](PreviewTestDlg& dlg) {
    const wxRect r = dlg.flashCtrl.GetWindow()->GetRect();
    rect_ = wxString::Format("%d,%d,%d,%d", r.x, r.y, r.width, r.height).ToStdString();
    const Case cases[] = {
        {0, "/cache/a[1].swf"},  // the cache copy
        {1, saved_},             // saved in this dialog, no cache copy
        {2, "http://h/c.swf"},   // saved, but the saved file is gone
        {3, "http://h/d.swf"},   // a saved path without the saved flag counts for nothing
    };
    for (const Case& c : cases) {
      g_calls.clear();
      test::SelectRows(dlg.List(), {c.row});
      // Moving the selection deselects the old row first (no row selected: empty preview).
      const std::vector<std::string> once = Plus(Reset(), {"invoke 102 put \"" + c.movie + "\""});
      EXPECT_EQ(g_calls, c.row == 0 ? once : Plus(Reset(), once)) << "row " << c.row;
      EXPECT_EQ(dlg.nPreviewItem, c.row);
      EXPECT_EQ(dlg.flashCtrl.GetWindow()->GetRect(), r);
    }
    g_calls.clear();
    test::SelectRows(dlg.List(), {3});  // the same row again: nothing reloads
    EXPECT_TRUE(g_calls.empty());
  });
}

TEST_F(PreviewSelection, CtrlClickingASecondRowEmptiesAndReturningReloads) {
  Run([&](PreviewTestDlg& dlg) {
    const wxRect r = dlg.flashCtrl.GetWindow()->GetRect();
    rect_ = wxString::Format("%d,%d,%d,%d", r.x, r.y, r.width, r.height).ToStdString();
    test::SelectRows(dlg.List(), {1});
    g_calls.clear();
    test::SelectRows(dlg.List(), {1, 2});
    EXPECT_EQ(g_calls, Reset());
    EXPECT_EQ(dlg.nPreviewItem, -1);
    g_calls.clear();
    test::SelectRows(dlg.List(), {1, 2, 3});  // already empty: stays as it is
    EXPECT_TRUE(g_calls.empty());
    test::SelectRows(dlg.List(), {1});
    EXPECT_EQ(g_calls, Plus(Reset(), {"invoke 102 put \"" + saved_ + "\""}));
    EXPECT_EQ(dlg.nPreviewItem, 1);
  });
}

TEST_F(PreviewSelection, TickingCheckBoxesOfThePreviewedRowDoesNotReload) {
  Run([&](PreviewTestDlg& dlg) {
    test::SelectRows(dlg.List(), {0});
    g_calls.clear();
    const int before = dlg.nItemChanged;
    dlg.List()->CheckItem(0, false);
    dlg.List()->CheckItem(0, true);
    dlg.List()->CheckItem(2, false);
    EXPECT_EQ(dlg.nItemChanged, before + 3);  // the dialog did hear of each tick
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(dlg.nPreviewItem, 0);
  });
}

TEST_F(PreviewSelection, DuringASaveRunThePreviewKeepsItsMovie) {
  Run([&](PreviewTestDlg& dlg) {
    test::SelectRows(dlg.List(), {0});
    g_calls.clear();
    dlg.bSaving = true;
    for (long row : {1L, 2L, 3L}) test::SelectRows(dlg.List(), {row});
    test::SelectRows(dlg.List(), {1, 2});
    test::SelectRows(dlg.List(), {2});
    dlg.bSaving = false;
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(dlg.nPreviewItem, 0);
    test::SelectRows(dlg.List(), {3});
    EXPECT_EQ(dlg.nPreviewItem, 3);
    ASSERT_FALSE(g_calls.empty());
    EXPECT_EQ(g_calls.back(), "invoke 102 put \"http://h/d.swf\"");
  });
}

TEST_F(PreviewSelection, AFailedRecreationLeavesTheAreaEmptyAndTheNextSelectionRetries) {
  Run([&](PreviewTestDlg& dlg) {
    const wxRect r = dlg.flashCtrl.GetWindow()->GetRect();
    rect_ = wxString::Format("%d,%d,%d,%d", r.x, r.y, r.width, r.height).ToStdString();
    test::SelectRows(dlg.List(), {0});
    g_failCreates = 1;
    test::SelectRows(dlg.List(), {});
    EXPECT_EQ(dlg.flashCtrl.GetWindow(), nullptr);
    EXPECT_EQ(dlg.nPreviewItem, -1);
    g_calls.clear();
    test::SelectRows(dlg.List(), {2});
    ASSERT_NE(dlg.flashCtrl.GetWindow(), nullptr);
    EXPECT_EQ(dlg.flashCtrl.GetWindow()->GetRect(), r);
    EXPECT_EQ(dlg.nPreviewItem, 2);
    // Nothing to remove or destroy: the retry starts at the creation.
    const std::vector<std::string> reset = Reset();
    std::vector<std::string> expected(reset.begin() + 3, reset.end());
    expected.push_back("invoke 102 put \"http://h/c.swf\"");
    EXPECT_EQ(g_calls, expected);
  });
}

}  // namespace
}  // namespace trovex

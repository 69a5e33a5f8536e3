// What the dialog base offers derived windows: the style choice, the creation hook, size events,
// OnDestroy, and the window-manager side (modal, transient, marked default button).
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/frame.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/window_manager.h"
#include "tests/support/dialog_script.h"

namespace trovex {
namespace {

using test::DialogScript;

// Records the order of the hooks and what each could see.
class HookedDialog : public CDialog {
 public:
  explicit HookedDialog(long extraStyle = 0, bool failCreate = false)
      : CDialog(IDD_SETTINGS), extraStyle_(extraStyle), failCreate_(failCreate) {}
  std::vector<std::string> calls;
  std::vector<CreatedControl> created;
  int nControlsAtDestroy = -1;
  bool bWindowAtDestroy = false;
  std::vector<wxSize> sizes;

 protected:
  long DialogWindowStyle() const override { return CDialog::DialogWindowStyle() | extraStyle_; }
  bool OnCreate(const std::vector<CreatedControl>& controls) override {
    calls.push_back("create");
    created = controls;
    return !failCreate_;
  }
  bool OnInitDialog() override {
    calls.push_back("init");
    return CDialog::OnInitDialog();
  }
  void OnDestroy() override {
    calls.push_back("destroy");
    bWindowAtDestroy = GetWindow() && GetWindow()->IsShownOnScreen() == GetWindow()->IsShown();
    nControlsAtDestroy = GetWindow() ? static_cast<int>(GetWindow()->GetChildren().size()) : -1;
    CDialog::OnDestroy();
  }

 private:
  void OnSize(wxSizeEvent& event) {
    sizes.push_back(GetWindow()->GetClientSize());
    event.Skip();
  }
  long extraStyle_;
  bool failCreate_;
  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(HookedDialog, CDialog)
  EVT_SIZE(HookedDialog::OnSize)
wxEND_EVENT_TABLE()

TEST(DialogHooks, CreateSeesEveryControlWithBothRectanglesBeforeInit) {
  HookedDialog dlg;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    EXPECT_FALSE(d.GetWindow()->HasFlag(wxRESIZE_BORDER));
    d.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"create", "init", "destroy"}));
  const DialogTemplate& tpl = dlg.Template();
  ASSERT_EQ(dlg.created.size(), tpl.controls.size());
  for (size_t i = 0; i < tpl.controls.size(); ++i) {
    const ControlTemplate& ct = tpl.controls[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " id " << ct.nId);
    const CreatedControl& c = dlg.created[i];
    EXPECT_EQ(c.pTemplate, &ct);
    EXPECT_EQ(c.rectDlu, wxRect(ct.x, ct.y, ct.cx, ct.cy));
    EXPECT_EQ(c.rectPx, DialogUnitsToPixels(c.rectDlu, dlg.BaseUnits()));
    EXPECT_NE(c.pCtrl, nullptr);
  }
  // OnDestroy ran while the window still had all its controls.
  EXPECT_TRUE(dlg.bWindowAtDestroy);
  EXPECT_EQ(dlg.nControlsAtDestroy, static_cast<int>(tpl.controls.size()));
}

TEST(DialogHooks, FailedCreateEndsBeforeInitWithMinusOne) {
  HookedDialog dlg(0, true);
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(dlg.calls, std::vector<std::string>{"create"});
  EXPECT_EQ(dlg.GetWindow(), nullptr);
}

TEST(DialogHooks, ChosenStyleAndSizeEventsReachTheDerivedTable) {
  HookedDialog dlg(wxRESIZE_BORDER);
  DialogScript script;
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    EXPECT_TRUE(d.GetWindow()->HasFlag(wxRESIZE_BORDER));
    dlg.sizes.clear();
    const wxSize bigger = d.GetWindow()->GetClientSize() + wxSize(120, 80);
    d.GetWindow()->SetClientSize(bigger);
    for (int i = 0; i < 40 && (dlg.sizes.empty() || dlg.sizes.back() != bigger); ++i)
      test::PumpEvents(25);
    ASSERT_FALSE(dlg.sizes.empty());
    EXPECT_EQ(dlg.sizes.back(), bigger);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(DialogHooks, OnDestroyRunsOnEveryEnding) {
  struct Case {
    const char* how;
    bool endInInit;
  } cases[] = {{"ended in the loop", false}, {"ended during init", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    class EndingDialog : public HookedDialog {
     public:
      bool endInInit = false;

     protected:
      bool OnInitDialog() override {
        HookedDialog::OnInitDialog();
        if (endInInit) EndDialog(5);
        return true;
      }
    } dlg;
    dlg.endInInit = c.endInInit;
    DialogScript script;
    if (!c.endInInit) script.Expect(IDD_SETTINGS, [](CDialog& d) { d.EndDialog(5); });
    EXPECT_EQ(dlg.DoModal(), 5);
    EXPECT_EQ(dlg.calls.back(), "destroy");
    EXPECT_EQ(std::count(dlg.calls.begin(), dlg.calls.end(), "destroy"), 1);
  }
}

TEST(WindowManager, TemplateDialogIsModalAndTransientForItsOwner) {
  auto* owner = new wxFrame(nullptr, wxID_ANY, "owner");
  owner->Show();
  struct Case {
    const char* how;
    wxWindow* parent;
  } cases[] = {{"given owner", owner}, {"no owner: the shown window", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    CDialog dlg(IDD_SETTINGS, c.parent);
    DialogScript script;
    bool modal = false;
    script.Expect(IDD_SETTINGS, [&](CDialog& d) {
      modal = IsModalFor(d.GetWindow(), owner);
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_TRUE(modal);
  }
  owner->Destroy();
  test::PumpEvents(20);
}

TEST(WindowManager, OnlyTheDefaultButtonIsMarked) {
  for (int id : DialogTemplateIds()) {
    SCOPED_TRACE(testing::Message() << "dialog " << id);
    CDialog dlg(id);
    DialogScript script;
    script.Expect(id, [&](CDialog& d) {
      for (const auto& ct : d.Template().controls) {
        if (ct.kind != CtlKind::PushButton || ct.nId == IDC_STATIC) continue;
        EXPECT_EQ(IsMarkedDefaultButton(d.GetDlgItem(ct.nId)), (ct.style & TS_DEFAULT) != 0)
            << "button " << ct.nId;
      }
      d.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
  }
}

}  // namespace
}  // namespace trovex

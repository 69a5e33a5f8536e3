// The resizable dialog on screen (under Xvfb, no window manager): creation, arrangement on
// resize, the grip, the minimum size, the saved placement and the repaint roles of real
// controls.
#include <type_traits>  // before wx/weakref.h, which uses it without including it

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/listbox.h>
#include <wx/panel.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/display.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "framework/message_box.h"
#include "framework/window_manager.h"
#include "resizable/resizable_dialog.h"
#include "settings/profile.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_manager_process.h"

namespace trovex {
namespace {

using test::DialogScript;

constexpr const char* kSection = "Trovex\\Test";

// The placement in the application's profile, as the Save dialog keeps it.
class ProfileStore final : public PlacementStore {
 public:
  std::string ReadPlacement(const std::string& section) override {
    return AppProfile().GetProfileString(section, kValueWindowPlacement);
  }
  bool WritePlacement(const std::string& section, const std::string& text) override {
    return AppProfile().WriteProfileString(section, kValueWindowPlacement, text) != FALSE;
  }
};

// Anchors the Save template's controls as a two-pane window would, and records its own size
// events (handled before the base's, as a derived dialog does).
class AnchoredDialog : public CResizableDialog {
 public:
  explicit AnchoredDialog(int id = IDD_SAVE,
                          std::unique_ptr<PlacementStore> store = std::make_unique<ProfileStore>())
      : CResizableDialog(id, nullptr, std::move(store)) {}
  std::function<void(AnchoredDialog&)> onInit;
  int nOwnSizeEvents = 0;
  bool positionKnown = true;  // false: as under Wayland, where windows learn no position
  using CResizableDialog::HandleSize;

 protected:
  bool WindowPositionKnown() const override { return positionKnown; }
  bool OnInitDialog() override {
    CResizableDialog::OnInitDialog();
    if (GetTemplateId() == IDD_SAVE) {
      AnchorControl(1001, TOP_LEFT, TOP_RIGHT);
      AnchorControl(1002, TOP_RIGHT);
      AnchorControl(1000, TOP_LEFT, {50, 100});
      AnchorControl(1038, TOP_CENTER, BOTTOM_RIGHT);
      AnchorControl(1009, BOTTOM_LEFT);
      AnchorControl(1034, BOTTOM_LEFT);
      AnchorControl(1044, BOTTOM_RIGHT);
      AnchorControl(1006, BOTTOM_LEFT);
      AnchorControl(1007, BOTTOM_LEFT);
      AnchorControl(1043, BOTTOM_RIGHT);
    }
    SetGripVisible(TRUE);
    if (onInit) onInit(*this);
    return true;
  }

 private:
  void OnOwnSize(wxSizeEvent& event) {
    ++nOwnSizeEvents;
    CResizableDialog::OnSize(event);
  }
  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(AnchoredDialog, CResizableDialog)
  EVT_SIZE(AnchoredDialog::OnOwnSize)
wxEND_EVENT_TABLE()

// Lets the size events of a resize arrive.
void WaitForClientSize(wxWindow* wnd, const wxSize& size) {
  for (int i = 0; i < 40 && wnd->GetClientSize() != size; ++i) test::PumpEvents(25);
  test::PumpEvents(50);
}

wxRect GripRect(CResizableDialog& dlg) { return dlg.GetGripWindow()->GetRect(); }

TEST(ResizableDialog, CreatedResizableWithItsSizeAsMinimumAndTheGripInTheCorner) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxDialog* wnd = d.GetWindow();
    EXPECT_TRUE(wnd->HasFlag(wxRESIZE_BORDER));
    // The client area kept the template's size; the minimum is the whole window's.
    const wxRect tpl = d.MapDialogRect(wxRect(0, 0, d.Template().cx, d.Template().cy));
    EXPECT_EQ(wnd->GetClientSize(), tpl.GetSize());
    EXPECT_EQ(wnd->GetMinSize(), wnd->GetSize());
    EXPECT_EQ(dlg.GetMinimumSize(), wnd->GetSize());
    wxWindow* grip = dlg.GetGripWindow();
    ASSERT_NE(grip, nullptr);
    EXPECT_TRUE(grip->IsShown());
    EXPECT_FALSE(grip->AcceptsFocusFromKeyboard());
    EXPECT_EQ(GripRect(dlg).GetBottomRight() + wxPoint(1, 1),
              wxPoint(wnd->GetClientSize().x, wnd->GetClientSize().y));
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST(ResizableDialog, ResizeArrangesEveryAnchoredControlAndTheGrip) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxDialog* wnd = d.GetWindow();
    struct Before {
      int id;
      wxRect rc;
    } before[] = {{1001, {}}, {1002, {}}, {1000, {}}, {1038, {}}, {1009, {}}, {1034, {}},
                  {1044, {}}, {1037, {}}};
    for (auto& b : before) b.rc = d.GetDlgItem(b.id)->GetRect();
    const wxSize client = wnd->GetClientSize();
    const wxSize grown = client + wxSize(200, 100);
    dlg.nOwnSizeEvents = 0;
    wnd->SetClientSize(grown);
    WaitForClientSize(wnd, grown);
    ASSERT_EQ(wnd->GetClientSize(), grown);
    EXPECT_GT(dlg.nOwnSizeEvents, 0) << "the derived table's EVT_SIZE";
    const int halfW = grown.x / 2 - client.x / 2;
    struct Expect {
      int id;
      wxPoint move;
      wxSize grow;
    } expected[] = {
        {1001, {0, 0}, {200, 0}},      {1002, {200, 0}, {0, 0}},   {1000, {0, 0}, {halfW, 100}},
        {1038, {halfW, 0}, {200 - halfW, 100}}, {1009, {0, 100}, {0, 0}}, {1034, {0, 100}, {0, 0}},
        {1044, {200, 100}, {0, 0}},   {1037, {0, 0}, {0, 0}},  // not anchored: stays
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
      SCOPED_TRACE(testing::Message() << "control " << expected[i].id);
      const wxRect now = d.GetDlgItem(expected[i].id)->GetRect();
      EXPECT_EQ(now.GetPosition(), before[i].rc.GetPosition() + expected[i].move);
      EXPECT_EQ(now.GetSize(), before[i].rc.GetSize() + expected[i].grow);
    }
    EXPECT_EQ(GripRect(dlg).GetBottomRight() + wxPoint(1, 1), wxPoint(grown.x, grown.y));
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

TEST(ResizableDialog, MaximizedHidesTheGripAndRestoredShowsItAgain) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    struct Step {
      bool maximized;
      bool gripShown;
    } steps[] = {{true, false}, {true, false}, {false, true}, {false, true}, {true, false}};
    for (const auto& s : steps) {
      dlg.HandleSize(s.maximized);
      EXPECT_EQ(dlg.GetGripWindow()->IsShown(), s.gripShown) << "maximized " << s.maximized;
    }
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

TEST(ResizableDialog, NeverSmallerThanCreated) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxDialog* wnd = d.GetWindow();
    const wxSize created = wnd->GetSize();
    wnd->SetSize(created - wxSize(150, 80));
    test::PumpEvents(100);
    EXPECT_GE(wnd->GetSize().x, created.x);
    EXPECT_GE(wnd->GetSize().y, created.y);
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

TEST(ResizableDialog, DraggingTheGripResizesTheWindowDownToItsMinimum) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxDialog* wnd = d.GetWindow();
    test::PumpEvents(200);
    const wxSize created = wnd->GetSize();
    wxWindow* grip = dlg.GetGripWindow();
    const wxSize gs = grip->GetSize();
    wxUIActionSimulator sim;
    auto drag = [&](wxPoint by, wxPoint from = wxPoint(-3, -3)) {
      // Inside the triangle, near the corner, unless said otherwise.
      const wxPoint start = grip->ClientToScreen(wxPoint(gs.x + from.x, gs.y + from.y));
      sim.MouseMove(start);
      test::PumpEvents(50);
      sim.MouseDown();
      test::PumpEvents(50);
      for (int step = 1; step <= 5; ++step) {
        sim.MouseMove(start + wxPoint(by.x * step / 5, by.y * step / 5));
        test::PumpEvents(40);
      }
      sim.MouseUp();
      test::PumpEvents(200);
    };
    // The grip's upper-left half is not the grip.
    drag(wxPoint(150, 100), wxPoint(-gs.x + 2, -gs.y + 2));
    EXPECT_EQ(wnd->GetSize(), created);
    drag(wxPoint(150, 100));
    EXPECT_EQ(wnd->GetSize(), created + wxSize(150, 100));
    drag(wxPoint(-400, -300));
    EXPECT_EQ(wnd->GetSize(), created);
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

class Placement : public testing::Test {
 protected:
  void SetUp() override { SetDefaultProfileRoot(); }
  test::IsolatedHome home_;
};

TEST_F(Placement, StoredTextsRestoreOrAreIgnored) {
  const wxRect display = wxDisplay(0u).GetGeometry();
  const wxRect area = wxDisplay(0u).GetClientArea();
  const std::string huge = std::to_string(area.x - 50) + "," + std::to_string(area.y + 100) + "," +
                           std::to_string(area.GetRight() + 400) + "," + std::to_string(area.GetBottom() + 300) + ",1,0";
  const std::string pastCorner = std::to_string(area.GetRight() - 100) + "," + std::to_string(area.GetBottom() - 50) +
                                 "," + std::to_string(area.GetRight() + 500) + "," +
                                 std::to_string(area.GetBottom() + 400) + ",1,0";
  struct Case {
    std::string text;
    BOOL rectOnly;
    BOOL restored;
    std::optional<wxRect> rect;  // nullopt: where the dialog was centred
  } cases[] = {
      {"10,20,610,470,1,0", FALSE, TRUE, wxRect(10, 20, 600, 450)},
      {"10,20,610,470,1,0", TRUE, TRUE, wxRect(10, 20, 600, 450)},
      {"10, 20, 610,\t470, 1, 0", FALSE, TRUE, wxRect(10, 20, 600, 450)},
      {"+10,20,610,470,1,0", FALSE, TRUE, wxRect(10, 20, 600, 450)},
      {"10,20,610", FALSE, FALSE, std::nullopt},
      {"10,20,610,470,1", TRUE, FALSE, std::nullopt},
      {"", FALSE, FALSE, std::nullopt},
      {"a,b,c,d,e,f", FALSE, FALSE, std::nullopt},
      {"10 ,20,610,470,1,0", FALSE, FALSE, std::nullopt},
      {"99999999999,20,610,470,1,0", FALSE, FALSE, std::nullopt},
      {"610,20,10,470,1,0", FALSE, FALSE, std::nullopt},
      {"10,20,10,470,1,0", FALSE, FALSE, std::nullopt},
      {"-2147483648,0,2147483647,100,1,0", FALSE, FALSE, std::nullopt},
      // Off every display: brought back to the first one, size kept.
      {"-5000,-5000,-4400,-4550,1,0", FALSE, TRUE,
       wxRect(display.x, display.y, 600, 450)},
      // Larger than the screen (stored with large fonts), or running past its corner: moved
      // and shrunk into the work area, so every button can be reached.
      {huge, FALSE, TRUE, area},
      {pastCorner, TRUE, TRUE, wxRect(area.GetRight() - 599, area.GetBottom() - 449, 600, 450)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "' rect only " << c.rectOnly);
    ASSERT_TRUE(AppProfile().WriteProfileString(kSection, kValueWindowPlacement, c.text.c_str()));
    AnchoredDialog dlg(IDD_NEW_FOLDER);
    BOOL restored = -1;
    wxRect centred;
    dlg.onInit = [&](AnchoredDialog& d) {
      centred = d.GetWindow()->GetRect();
      restored = d.RestorePlacement(kSection, c.rectOnly);
    };
    DialogScript script;
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
      EXPECT_EQ(d.GetWindow()->GetRect(), c.rect.value_or(centred));
      EXPECT_FALSE(d.GetWindow()->IsMaximized());
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(restored, c.restored);
  }
}

// The placement goes to the store the dialog was given and to nothing else; without a store
// nothing is restored or kept.
TEST_F(Placement, KeptInTheStoreTheDialogWasGiven) {
  struct MemoryStore final : PlacementStore {
    std::map<std::string, std::string>* texts;
    explicit MemoryStore(std::map<std::string, std::string>* t) : texts(t) {}
    std::string ReadPlacement(const std::string& section) override { return (*texts)[section]; }
    bool WritePlacement(const std::string& section, const std::string& text) override {
      (*texts)[section] = text;
      return true;
    }
  };
  std::map<std::string, std::string> texts{{kSection, "10,20,610,470,1,0"}};
  ASSERT_TRUE(AppProfile().WriteProfileString(kSection, kValueWindowPlacement, "50,60,650,510,1,0"));
  {
    AnchoredDialog dlg(IDD_NEW_FOLDER, std::make_unique<MemoryStore>(&texts));
    dlg.onInit = [&](AnchoredDialog& d) { d.EnableSavedPlacement(kSection, FALSE); };
    DialogScript script;
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
      EXPECT_EQ(d.GetWindow()->GetRect(), wxRect(10, 20, 600, 450));
      d.GetWindow()->SetSize(30, 40, 640, 480);
      test::PumpEvents(100);
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
  }
  EXPECT_EQ(texts[kSection], "30,40,670,520,1,0");
  EXPECT_EQ(AppProfile().GetProfileString(kSection, kValueWindowPlacement), "50,60,650,510,1,0");

  AnchoredDialog bare(IDD_NEW_FOLDER, nullptr);
  BOOL restored = -1;
  BOOL saved = -1;
  bare.onInit = [&](AnchoredDialog& d) {
    restored = d.RestorePlacement(kSection, FALSE);
    saved = d.SavePlacement(kSection, FALSE);
  };
  DialogScript script;
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) { d.EndDialog(IDOK); });
  bare.DoModal();
  EXPECT_EQ(restored, FALSE);
  EXPECT_EQ(saved, FALSE);
  EXPECT_EQ(texts[kSection], "30,40,670,520,1,0");
}

TEST_F(Placement, NeverRestoredSmallerThanTheMinimum) {
  ASSERT_TRUE(AppProfile().WriteProfileString(kSection, kValueWindowPlacement, "10,20,60,40,1,0"));
  AnchoredDialog dlg(IDD_NEW_FOLDER);
  dlg.onInit = [](AnchoredDialog& d) { EXPECT_TRUE(d.RestorePlacement(kSection, FALSE)); };
  DialogScript script;
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
    EXPECT_EQ(d.GetWindow()->GetRect(), wxRect(wxPoint(10, 20), dlg.GetMinimumSize()));
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

TEST_F(Placement, SavedWhenTheWindowGoesAndRestoredNextTime) {
  const wxRect area = wxDisplay(0u).GetClientArea();
  const wxPoint centred(area.x + (area.width - 640) / 2, area.y + (area.height - 480) / 2);
  struct Case {
    BOOL rectOnly;
    bool positionKnown;
    std::string before;
    wxPoint kept;  // where the stored placement puts the dialog
  } cases[] = {
      {FALSE, true, "", {30, 40}},
      {TRUE, true, "", {30, 40}},
      // Without a known position the stored one stays, and only the size is new.
      {FALSE, false, "100,80,700,530,1,0", {100, 80}},
      {TRUE, false, "100,80,700,530,1,0", {100, 80}},
      {FALSE, false, "", centred},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "rect only " << c.rectOnly << ", position known " << c.positionKnown
                                    << ", stored '" << c.before << "'");
    AppProfile().WriteProfileString(kSection, kValueWindowPlacement, c.before);
    AnchoredDialog dlg(IDD_NEW_FOLDER);
    dlg.positionKnown = c.positionKnown;
    dlg.onInit = [&](AnchoredDialog& d) { d.EnableSavedPlacement(kSection, c.rectOnly); };
    DialogScript script;
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
      d.GetWindow()->SetSize(30, 40, 640, 480);
      test::PumpEvents(100);
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
    const wxRect want(c.kept, wxSize(640, 480));
    EXPECT_EQ(AppProfile().GetProfileString(kSection, kValueWindowPlacement),
              std::to_string(want.x) + "," + std::to_string(want.y) + "," + std::to_string(want.x + 640) + "," +
                  std::to_string(want.y + 480) + ",1,0");
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
      EXPECT_EQ(d.GetWindow()->GetRect(), want);
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
  }
}

// A control that answers the resize questions itself.
class SupportingPanel : public wxPanel, public IResizeSupport {
 public:
  SupportingPanel(wxWindow* parent, BOOL supports, BOOL answer)
      : wxPanel(parent, wxID_ANY, wxPoint(5, 5), wxSize(40, 40)), supports_(supports),
        answer_(answer) {}
  int nRefreshQuestions = 0;
  BOOL QueryResizeProperties(ResizeProperties& props) override {
    props.bAskRefresh = TRUE;
    props.bAskClipping = FALSE;
    return supports_;
  }
  BOOL QueryNeedsRefresh(RefreshProperty& prop) override {
    ++nRefreshQuestions;
    prop.bNeedsRefresh = answer_;
    return TRUE;
  }

 private:
  BOOL supports_, answer_;
};

TEST(RepaintRoles, RealControlsAndTheirAnswers) {
  AnchoredDialog dlg(IDD_NEW_FOLDER);
  DialogScript script;
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
    wxWindow* wnd = d.GetWindow();
    const wxRect rcOld(5, 5, 40, 40), wider(5, 5, 60, 40), taller(5, 5, 40, 60);
    struct Case {
      const char* what;
      wxWindow* ctrl;
      std::string cls;
      long style;
      BOOL widerRepaint, tallerRepaint;
    } cases[] = {
        {"left text", new wxStaticText(wnd, wxID_ANY, "甲"), "Static", SS_LEFT, TRUE, FALSE},
        {"centred text", new wxStaticText(wnd, wxID_ANY, "乙", wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL),
         "Static", SS_CENTER, TRUE, FALSE},
        {"ellipsized text",
         new wxStaticText(wnd, wxID_ANY, "丙", wxDefaultPosition, wxDefaultSize, wxST_ELLIPSIZE_END),
         "Static", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, TRUE, FALSE},
        {"picture", new wxStaticBitmap(wnd, wxID_ANY, wxBitmap(16, 16)), "Static", SS_ICON, TRUE, TRUE},
        {"line", new wxStaticLine(wnd, wxID_ANY), "Static", SS_ETCHEDHORZ, FALSE, FALSE},
        {"button", new wxButton(wnd, wxID_ANY, "丁"), "wxButton", -1, FALSE, FALSE},
        {"list box", new wxListBox(wnd, wxID_ANY), "ListBox", -1, FALSE, FALSE},
        {"supporting control, repaint", new SupportingPanel(wnd, TRUE, TRUE), "wxPanel", -1, TRUE, TRUE},
        {"supporting control, no repaint", new SupportingPanel(wnd, TRUE, FALSE), "wxPanel", -1, FALSE, FALSE},
        {"control declining support", new SupportingPanel(wnd, FALSE, TRUE), "wxPanel", -1, FALSE, FALSE},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      dlg.AnchorControl(c.ctrl, TOP_LEFT, BOTTOM_RIGHT);
      const LayoutInfo& li = dlg.Layout().Records().back();
      ASSERT_EQ(li.hWnd, c.ctrl);
      EXPECT_EQ(li.sWndClass, c.cls);
      if (c.style >= 0) {
        EXPECT_EQ(li.nStyle, c.style);
      }
      EXPECT_EQ(dlg.Layout().ControlNeedsRepaint(li, rcOld, wider), c.widerRepaint);
      EXPECT_EQ(dlg.Layout().ControlNeedsRepaint(li, rcOld, taller), c.tallerRepaint);
      auto* panel = dynamic_cast<SupportingPanel*>(c.ctrl);
      if (panel) {
        EXPECT_EQ(li.bMsgSupport, panel->nRefreshQuestions > 0);
      }
    }
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

// A control that needs no questions: its repaint need is fixed in its properties.
class CachedPanel : public wxPanel, public IResizeSupport {
 public:
  CachedPanel(wxWindow* parent, BOOL needsRefresh)
      : wxPanel(parent, wxID_ANY, wxPoint(10, 10), wxSize(50, 50)), needsRefresh_(needsRefresh) {}
  BOOL QueryResizeProperties(ResizeProperties& props) override {
    props.bAskRefresh = FALSE;
    props.bCachedNeedsRefresh = needsRefresh_;
    return TRUE;
  }
  BOOL QueryNeedsRefresh(RefreshProperty&) override {
    ADD_FAILURE() << "asked although it said not to";
    return FALSE;
  }

 private:
  BOOL needsRefresh_;
};

TEST(Arrangement, PositionFlagsOfEachControl) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "layout");
  const wxRect client(0, 0, 400, 300), grown(0, 0, 500, 380);
  constexpr UINT kBase = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
  struct Case {
    const char* what;
    wxWindow* ctrl;
    Anchor tl, br;
    UINT flags;
  } cases[] = {
      {"stays where it is", new wxButton(frame, wxID_ANY, "甲", wxPoint(10, 10), wxSize(80, 24)),
       TOP_LEFT, NOANCHOR, kBase | SWP_NOMOVE | SWP_NOSIZE},
      {"moves only", new wxButton(frame, wxID_ANY, "乙", wxPoint(300, 260), wxSize(80, 24)),
       BOTTOM_RIGHT, NOANCHOR, kBase | SWP_NOSIZE},
      {"text grows wider: old pixels discarded",
       new wxStaticText(frame, wxID_ANY, "丙", wxPoint(10, 40), wxSize(200, 20), wxST_NO_AUTORESIZE),
       TOP_LEFT, TOP_RIGHT, kBase | SWP_NOMOVE | SWP_NOCOPYBITS},
      {"text grows taller only",
       new wxStaticText(frame, wxID_ANY, "丁", wxPoint(10, 70), wxSize(200, 20), wxST_NO_AUTORESIZE),
       TOP_LEFT, BOTTOM_LEFT, kBase | SWP_NOMOVE},
      {"cached need to repaint", new CachedPanel(frame, TRUE), TOP_LEFT, BOTTOM_RIGHT,
       kBase | SWP_NOMOVE | SWP_NOCOPYBITS},
      {"cached: no repaint", new CachedPanel(frame, FALSE), MIDDLE_CENTER, BOTTOM_RIGHT, kBase},
  };
  CResizableLayout layout;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    layout.AddAnchor(c.ctrl, client, c.tl, c.br);
    wxRect rcNew;
    UINT flags = 0;
    layout.CalcNewChildPosition(layout.Records().back(), grown, rcNew, flags);
    EXPECT_EQ(flags, c.flags) << std::hex << flags;
  }
  // One pass puts every control where its anchors say.
  layout.ArrangeLayout(frame, grown);
  for (const LayoutInfo& li : layout.Records()) EXPECT_EQ(li.hWnd->GetRect(), ComputeControlRect(li, grown));
  frame->Destroy();
  test::PumpEvents(20);
}

TEST(Anchors, RemovedOnRequestOrWhenTheControlIsDestroyed) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    const size_t anchored = dlg.Layout().Records().size();
    wxWindow* preview = d.GetDlgItem(1038);
    EXPECT_TRUE(dlg.RemoveAnchor(preview));
    EXPECT_FALSE(dlg.RemoveAnchor(preview));
    EXPECT_EQ(dlg.Layout().Records().size(), anchored - 1);
    // A control destroyed while anchored must not be moved afterwards.
    wxWindow* list = d.GetDlgItem(1000);
    delete list;
    EXPECT_EQ(dlg.Layout().Records().size(), anchored - 2);
    const wxSize grown = d.GetWindow()->GetClientSize() + wxSize(50, 50);
    d.GetWindow()->SetClientSize(grown);
    WaitForClientSize(d.GetWindow(), grown);
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
  EXPECT_TRUE(dlg.Layout().Records().empty()) << "records end with the window";
  // Anchoring a control the template lacks is a programming error, reported, not ignored.
  dlg.onInit = [](AnchoredDialog& d) { d.AnchorControl(4242, TOP_LEFT); };
  EXPECT_THROW(dlg.DoModal(), std::logic_error);
}

TEST(Screenshots, ResizedDialogWithTheGrip) {
  AnchoredDialog dlg;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxDialog* wnd = d.GetWindow();
    const wxSize grown(wnd->GetClientSize().x * 3 / 2, wnd->GetClientSize().y * 3 / 2);
    wnd->SetClientSize(grown);
    wnd->Move(0, 0);
    WaitForClientSize(wnd, grown);
    test::ExpectDrawnAndUnclipped(wnd, "resizable_1000_x1.5.png");
    d.EndDialog(IDOK);
  });
  dlg.DoModal();
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// Under a window manager, a dialog without an owner opens where it was stored, and a placement
// read back and stored unchanged stays the same over several openings (a resize included).
TEST_F(Placement, UnderAWindowManagerOwnerlessDialogsKeepTheirStoredPlacement) {
  test::WindowManagerProcess wm;
  ASSERT_TRUE(wm.running()) << "openbox is needed for this test";
  const std::string stored = "100,80,1000,700,1,0";
  ASSERT_TRUE(AppProfile().WriteProfileString(kSection, kValueWindowPlacement, stored));
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(testing::Message() << "opening " << round);
    AnchoredDialog dlg;
    dlg.onInit = [&](AnchoredDialog& d) { d.EnableSavedPlacement(kSection, FALSE); };
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog& d) {
      test::PumpEvents(400);
      EXPECT_EQ(d.GetWindow()->GetRect(), wxRect(100, 80, 900, 620));
      if (round == 1) {  // a resize by the user, then back
        d.GetWindow()->SetSize(950, 660);
        test::PumpEvents(300);
        d.GetWindow()->SetSize(wxRect(100, 80, 900, 620));
        test::PumpEvents(300);
      }
      d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(AppProfile().GetProfileString(kSection, kValueWindowPlacement), stored);
  }
}

}  // namespace
}  // namespace trovex

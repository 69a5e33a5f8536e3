// The system's own message box: icon, labels, font, default button, line breaking, keys and
// modality, and a screenshot of each kind.
#include <gtest/gtest.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/message_dialog.h"
#include "framework/window_manager.h"
#include "tests/support/dialog_script.h"
#include "tests/support/window_manager_process.h"

namespace trovex {
namespace {

// What a built box holds.
struct Contents {
  wxImage icon;
  std::set<std::string> buttons;
  std::string defaultButton;
  bool defaultMarked = false;
  std::string textFace;
  std::string shownText;
};

Contents Inspect(CAppMessageDialog* dlg) {
  dlg->Build();
  Contents c;
  for (wxWindow* child : dlg->GetChildren()) {
    if (auto* bmp = dynamic_cast<wxStaticBitmap*>(child)) c.icon = bmp->GetBitmap().ConvertToImage();
    if (auto* button = dynamic_cast<wxButton*>(child)) {
      c.buttons.insert(button->GetLabel().utf8_string());
      if (dlg->GetDefaultItem() == button) {
        c.defaultButton = button->GetLabel().utf8_string();
        c.defaultMarked = IsMarkedDefaultButton(button);
      }
    }
    if (auto* text = dynamic_cast<wxStaticText*>(child)) {
      c.textFace = text->GetFont().GetFaceName().utf8_string();
      c.shownText = text->GetLabelText().utf8_string();
    }
  }
  return c;
}

// Builds the box AppMessageBox shows, records its contents and answers it.
class InspectMessageBox : public wxExpectModalBase<CAppMessageDialog, InspectMessageBox> {
 public:
  InspectMessageBox(int answer, Contents* out) : answer_(answer), out_(out) {}

 protected:
  int OnInvoked(CAppMessageDialog* dlg) const override {
    *out_ = Inspect(dlg);
    return answer_;
  }

 private:
  int answer_;
  Contents* out_;
};

bool SameImage(const wxImage& a, const wxImage& b) {
  return a.IsOk() && b.IsOk() && a.GetSize() == b.GetSize() &&
         std::equal(a.GetData(), a.GetData() + a.GetWidth() * a.GetHeight() * 3, b.GetData());
}

TEST(AppMessageBoxWindow, IconButtonsFontAndDefaultFollowTheType) {
  const wxArtID kinds[] = {wxART_ERROR, wxART_QUESTION, wxART_WARNING, wxART_INFORMATION};
  struct Case {
    unsigned type;
    wxArtID art;
    std::set<std::string> buttons;
    std::string def;
  } cases[] = {
      {MB_OK | MB_ICONERROR, wxART_ERROR, {"確定"}, "確定"},
      {MB_YESNO | MB_ICONQUESTION, wxART_QUESTION, {"是(&Y)", "否(&N)"}, "是(&Y)"},
      {MB_OK, wxART_WARNING, {"確定"}, "確定"},
      {MB_OKCANCEL, wxART_WARNING, {"確定", "取消"}, "確定"},
      {MB_YESNOCANCEL, wxART_QUESTION, {"是(&Y)", "否(&N)", "取消"}, "是(&Y)"},
      {MB_OK | MB_ICONINFORMATION, wxART_INFORMATION, {"確定"}, "確定"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << c.type);
    Contents box;
    wxTEST_DIALOG(AppMessageBox(nullptr, "訊息。", c.type), InspectMessageBox(wxID_OK, &box));
    // The icon is the theme's icon of its kind and no other kind's.
    for (const wxArtID& kind : kinds) {
      const wxImage art = wxArtProvider::GetBitmap(kind, wxART_MESSAGE_BOX).ConvertToImage();
      EXPECT_EQ(SameImage(box.icon, art), kind == c.art) << kind;
    }
    EXPECT_EQ(box.buttons, c.buttons);
    EXPECT_EQ(box.defaultButton, c.def);
    EXPECT_TRUE(box.defaultMarked);
    EXPECT_EQ(box.textFace, "Noto Sans CJK TC");
    EXPECT_EQ(box.shownText, "訊息。");
  }
}

TEST(AppMessageBoxWindow, LongTextsBreakToFitWithoutLosingAnything) {
  const wxFont font = GetDialogFont();
  const int maxWidth = 300;
  const std::string longName(120, 'x');
  struct Case {
    const char* what;
    std::string text;
    bool breaks;
    bool wordsWhole = true;  // no line ends between two ASCII letters or digits (spaces go)
  } cases[] = {
      {"short text stays one line", "檔案已經存在。", false},
      {"words break at spaces", "one two three four five six seven eight nine ten eleven twelve thirteen", true,
       false},
      {"Chinese breaks between characters",
       "檔案已經存在於目標目錄之中，您要以新的檔案取代它，或是保留原來的檔案並略過這一個影片嗎？", true},
      {"a name without spaces keeps its end", "檔案 \"" + longName + ".swf\" 已經存在。", true, false},
      {"paragraphs stay apart", "第一段。\n第二段。", false},
      {"an address breaks after a separator, not inside a word",
       "無法下載「game.swf」（http://www.example.com/movies/collection2009/arcade/classics/game.swf?from=homepage）：\n"
       "伺服器沒有回應。",
       true},
  };
  wxBitmap bmp(1, 1);
  wxMemoryDC dc(bmp);
  dc.SetFont(font);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const wxString text = wxString::FromUTF8(c.text);
    const wxString shown = CAppMessageDialog::WrapForDisplay(text, font, maxWidth);
    const wxArrayString lines = wxSplit(shown, '\n', '\0');
    EXPECT_EQ(lines.size() > wxSplit(text, '\n', '\0').size(), c.breaks);
    wxString joined, original = text;
    for (size_t i = 0; i + 1 < lines.size() && c.wordsWhole; ++i) {
      if (lines[i].empty() || lines[i + 1].empty()) continue;
      const auto word = [](wxUniChar ch) { return ch.IsAscii() && wxIsalnum(ch); };
      EXPECT_FALSE(word(lines[i].Last()) && word(lines[i + 1][0]))
          << "a word is cut: " << lines[i] << " | " << lines[i + 1];
    }
    for (const wxString& line : lines) {
      EXPECT_LE(dc.GetTextExtent(line).x, maxWidth) << line;
      EXPECT_FALSE(line.empty());
      joined += line;
      // Closing punctuation stays with the text it closes.
      if (!line.empty()) {
        EXPECT_EQ(wxString::FromUTF8("。，？").Find(line[0]), wxNOT_FOUND) << line;
      }
    }
    // Only line breaks (and the spaces they replaced) differ.
    original.Replace("\n", "");
    original.Replace(" ", "");
    joined.Replace(" ", "");
    EXPECT_EQ(joined, original);
  }
}

TEST(AppMessageBoxWindow, ModalOverItsOwnerAndAnsweredByKeys) {
  auto* owner = new wxFrame(nullptr, wxID_ANY, "owner");
  owner->Show();
  struct Case {
    unsigned type;
    int key;
    int result;
  } cases[] = {
      {MB_YESNO, 'Y', IDYES},
      {MB_YESNO, 'n', IDNO},
      {MB_YESNOCANCEL, WXK_ESCAPE, IDCANCEL},
      {MB_OK, WXK_RETURN, IDOK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "key " << c.key);
    bool modal = false;
    owner->CallAfter([&] {
      wxWindow* box = wxTopLevelWindows.GetLast()->GetData();
      modal = IsModalFor(box, owner);
      test::PumpEvents(50);
      wxKeyEvent key(wxEVT_CHAR_HOOK);
      key.m_keyCode = c.key;
      key.SetEventObject(box);
      if (c.key == WXK_RETURN) {
        // Enter presses the default button (the toolkit does it; focus may be elsewhere here).
        wxWindow* def = static_cast<wxTopLevelWindow*>(box)->GetDefaultItem();
        ASSERT_NE(def, nullptr);
        wxCommandEvent click(wxEVT_BUTTON, def->GetId());
        click.SetEventObject(def);
        def->ProcessWindowEvent(click);
        return;
      }
      box->ProcessWindowEvent(key);
    });
    EXPECT_EQ(AppMessageBox(owner, "問題？", c.type), c.result);
    EXPECT_TRUE(modal);
  }
  owner->Destroy();
  test::PumpEvents(20);
}

TEST(Screenshots, MessageBoxOfEachKind) {
  struct Case {
    const char* name;
    long style;
    const char* text;
  } cases[] = {
      {"error", wxOK | wxICON_ERROR, "無法建立目錄 \"/home/使用者/影片/很長的目錄名稱很長的目錄名稱很長的目錄名稱\"。"},
      {"question", wxYES_NO | wxICON_QUESTION, "檔案 \"/tmp/新\" 不存在,您要現在建立嗎?"},
      {"warning", wxOK | wxCANCEL | wxICON_EXCLAMATION, "請輸入不要超過 255 個字符。"},
      {"information", wxOK | wxICON_INFORMATION, "這個網頁中沒有 Flash 影片。"},
  };
  for (const auto& c : cases) {
    CAppMessageDialog box(nullptr, wxString::FromUTF8(c.text), "SWF Zalmic Trovex", c.style);
    box.Build();
    box.Move(0, 0);
    box.Show();
    test::ExpectDrawnAndUnclipped(&box, std::string("message_box_") + c.name + ".png");
    box.Hide();
  }
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// Under a window manager: message boxes and template dialogs ask for a frame with a close box
// only (no minimize or maximize button), and a box is wide enough for its whole caption.
TEST(AppMessageBoxWindow, UnderAWindowManagerOnlyCloseAndACaptionThatFits) {
  test::WindowManagerProcess wm;
  ASSERT_TRUE(wm.running()) << "openbox is needed for this test";
  auto* owner = new wxFrame(nullptr, wxID_ANY, "owner");
  owner->Show();
  test::PumpEvents(300);
  test::FrameHints boxHints;
  int boxWidth = 0, captionWidth = 0;
  owner->CallAfter([&] {
    auto* box = static_cast<wxDialog*>(wxTopLevelWindows.GetLast()->GetData());
    test::PumpEvents(400);
    boxHints = test::ReadFrameHints(box);

    boxWidth = box->GetSize().x;
    captionWidth = box->GetTextExtent(box->GetTitle()).x;
    box->EndModal(wxID_OK);
  });
  AppMessageBox(owner, "好。", MB_OK);
  EXPECT_TRUE(boxHints.read);
  EXPECT_TRUE(boxHints.close);
  EXPECT_FALSE(boxHints.minimize);
  EXPECT_FALSE(boxHints.maximize);
  EXPECT_GT(boxWidth, captionWidth + 60) << "the caption is cut";

  test::FrameHints dialogHints;
  CDialog dlg(IDD_NEW_FOLDER, owner);
  test::DialogScript script;
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& d) {
    test::PumpEvents(400);
    dialogHints = test::ReadFrameHints(d.GetWindow());
    d.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_TRUE(dialogHints.read);
  EXPECT_TRUE(dialogHints.close);
  EXPECT_FALSE(dialogHints.minimize);
  EXPECT_FALSE(dialogHints.maximize);
  owner->Destroy();
  test::PumpEvents(20);
}

}  // namespace
}  // namespace trovex

// The dialog toolkit on screen (under Xvfb): layout from the templates, the modal run and its
// endings, message boxes, the directory menu, bitmaps and icons.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/gauge.h>
#include <wx/imagpng.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include <cstdlib>
#include <set>
#include <stdexcept>

#include "framework/dialog.h"
#include "res/images.h"
#include "framework/menu.h"
#include "framework/message_box.h"
#include "res/strings.h"
#include "framework/wx_text.h"
#include "tests/support/dialog_script.h"

namespace trovex {
namespace {

using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;

bool IsKind(wxWindow* w, CtlKind kind) {
  switch (kind) {
    case CtlKind::Static: return dynamic_cast<wxStaticText*>(w);
    case CtlKind::GroupBox: return dynamic_cast<wxStaticBox*>(w);
    case CtlKind::RadioButton: return dynamic_cast<wxRadioButton*>(w);
    case CtlKind::CheckBox: return dynamic_cast<wxCheckBox*>(w);
    case CtlKind::PushButton: return dynamic_cast<wxButton*>(w);
    case CtlKind::Edit: return dynamic_cast<wxTextCtrl*>(w);
    case CtlKind::ListView: return dynamic_cast<wxListCtrl*>(w);
    case CtlKind::TreeView: return dynamic_cast<wxTreeCtrl*>(w);
    case CtlKind::Progress: return dynamic_cast<wxGauge*>(w);
    case CtlKind::Icon: return dynamic_cast<wxStaticBitmap*>(w);
    case CtlKind::EtchedLine: return dynamic_cast<wxStaticLine*>(w);
    case CtlKind::Custom: return dynamic_cast<wxPanel*>(w);
  }
  return false;
}

bool HasLabel(CtlKind kind) {
  return kind == CtlKind::Static || kind == CtlKind::GroupBox || kind == CtlKind::RadioButton ||
         kind == CtlKind::CheckBox || kind == CtlKind::PushButton;
}

TEST(DialogFont, AsksForTheTaiwanCjkFace) {
  wxFont font = GetDialogFont();
  ASSERT_TRUE(font.IsOk());
  EXPECT_EQ(font.GetFaceName(), "Noto Sans CJK TC");
  DialogBaseUnits base = GetDialogBaseUnits(font);
  EXPECT_GE(base.cx, 4);
  EXPECT_LE(base.cx, 16);
  EXPECT_GE(base.cy, 10);
  EXPECT_LE(base.cy, 40);
  // The height is the font's line height, not a guess.
  wxBitmap bmp(1, 1);
  wxMemoryDC dc(bmp);
  dc.SetFont(font);
  EXPECT_EQ(base.cy, dc.GetCharHeight());
}

class TemplateLayout : public testing::TestWithParam<int> {};

TEST_P(TemplateLayout, EveryControlWhereTheTemplateSays) {
  const int id = GetParam();
  CDialog dlg(id);
  DialogScript script;
  script.Expect(id, [id](CDialog& d) {
    const DialogTemplate& t = d.Template();
    wxDialog* wnd = d.GetWindow();
    ASSERT_NE(wnd, nullptr);
    EXPECT_EQ(wnd->GetTitle().utf8_string(), t.pszCaption);
    const wxSize client = wnd->GetClientSize();
    EXPECT_EQ(client, d.MapDialogRect(wxRect(0, 0, t.cx, t.cy)).GetSize());
    EXPECT_GT(client.x, t.cx);  // dialog units are smaller than pixels at any sane font size
    const wxWindowList& children = wnd->GetChildren();
    ASSERT_EQ(children.size(), t.controls.size());
    size_t i = 0;
    for (wxWindow* child : children) {
      const ControlTemplate& ct = t.controls[i++];
      SCOPED_TRACE(testing::Message() << "dialog " << id << " control #" << i << " id " << ct.nId);
      if (ct.nId != IDC_STATIC) {
        EXPECT_EQ(child->GetId(), ct.nId);
        EXPECT_EQ(d.GetDlgItem(ct.nId), child);
      }
      EXPECT_TRUE(IsKind(child, ct.kind));
      const wxRect want = d.MapDialogRect(wxRect(ct.x, ct.y, ct.cx, ct.cy));
      EXPECT_EQ(child->GetRect(), want);
      EXPECT_TRUE(wxRect(client).Contains(child->GetRect()));
      EXPECT_EQ(child->IsShown(), !(ct.style & TS_HIDDEN));
      EXPECT_EQ(child->IsEnabled(), !(ct.style & TS_DISABLED));
      if (HasLabel(ct.kind)) {
        auto* control = dynamic_cast<wxControl*>(child);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->GetLabelText().utf8_string(), DisplayText(ct.pszText));
      }
      if (auto* button = dynamic_cast<wxButton*>(child)) {
        EXPECT_EQ(wnd->GetDefaultItem() == button, (ct.style & TS_DEFAULT) != 0);
      }
    }
    d.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.GetWindow(), nullptr);
}

// Texts must fit their controls with the dialog font: nothing on screen is cut off.
TEST_P(TemplateLayout, TextsFitTheirControls) {
  const int id = GetParam();
  CDialog dlg(id);
  DialogScript script;
  script.Expect(id, [](CDialog& d) {
    wxMemoryDC dc;
    wxBitmap bmp(1, 1);
    dc.SelectObject(bmp);
    dc.SetFont(GetDialogFont());
    for (const ControlTemplate& ct : d.Template().controls) {
      if (!HasLabel(ct.kind) || !ct.pszText || !*ct.pszText) continue;
      std::string text = DisplayText(ct.pszText);
      if (ct.nId == 1029) text = "這個資料夾已經包含名稱為'movie.swf'的檔案了。";
      SCOPED_TRACE(testing::Message() << "dialog " << d.GetTemplateId() << " text " << text);
      wxCoord w = 0, h = 0;
      dc.GetMultiLineTextExtent(Utf8ToWx(text.c_str()), &w, &h);
      const wxRect r = d.MapDialogRect(wxRect(ct.x, ct.y, ct.cx, ct.cy));
      // Room the control itself takes: check marks and button frames.
      int chrome = 0;
      if (ct.kind == CtlKind::RadioButton || ct.kind == CtlKind::CheckBox) chrome = 22;
      if (ct.kind == CtlKind::PushButton) chrome = 8;
      if (ct.kind == CtlKind::GroupBox) chrome = 16;
      if (ct.nId == 1029) {
        // Two lines are reserved for the file name message.
        EXPECT_LE(h * 2, r.height + 2);
        continue;
      }
      if (ct.kind == CtlKind::Static && ct.cy >= 16) {
        // A text given several lines wraps; every line must show.
        const int lines = (w + r.width - 1) / r.width;
        EXPECT_LE(lines * h, r.height + 2);
        continue;
      }
      EXPECT_LE(w + chrome, r.width);
      if (ct.kind == CtlKind::Static) {
        EXPECT_LE(h, r.height + 2);
      }
    }
    d.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
}

INSTANTIATE_TEST_SUITE_P(AllTemplates, TemplateLayout, testing::Values(1000, 1001, 1007, 1008, 1009));

// A dialog that records what happens to it.
class ProbeDialog : public CDialog {
 public:
  ProbeDialog() : CDialog(IDD_SETTINGS) {}
  int nCancels = 0;
  int nOKs = 0;
  bool bThrowOnBrowse = false;
  bool bEndInInit = false;

 protected:
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    if (bEndInInit) EndDialog(77);
    return true;
  }
  void OnOK() override {
    ++nOKs;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++nCancels;
    CDialog::OnCancel();
  }

 private:
  void OnBrowse(wxCommandEvent&) {
    if (bThrowOnBrowse) throw std::runtime_error("handler failed");
  }
  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(ProbeDialog, CDialog)
  EVT_BUTTON(1013, ProbeDialog::OnBrowse)
wxEND_EVENT_TABLE()

wxKeyEvent Key(int code) {
  wxKeyEvent key(wxEVT_CHAR_HOOK);
  key.m_keyCode = code;
  return key;
}

TEST(ModalRun, EveryWayOfEndingGivesItsResult) {
  struct Case {
    const char* how;
    std::function<void(CDialog&)> act;
    int result, oks, cancels;
  } cases[] = {
      {"OK button", [](CDialog& d) { d.ClickDlgButton(IDOK); }, IDOK, 1, 0},
      {"Cancel button", [](CDialog& d) { d.ClickDlgButton(IDCANCEL); }, IDCANCEL, 0, 1},
      {"Escape",
       [](CDialog& d) {
         wxKeyEvent key = Key(WXK_ESCAPE);
         d.GetWindow()->GetEventHandler()->ProcessEvent(key);
       },
       IDCANCEL, 0, 1},
      {"close box",
       [](CDialog& d) {
         wxCloseEvent close(wxEVT_CLOSE_WINDOW, d.GetWindow()->GetId());
         close.SetEventObject(d.GetWindow());
         close.SetCanVeto(true);
         d.GetWindow()->GetEventHandler()->ProcessEvent(close);
       },
       IDCANCEL, 0, 1},
      {"Enter on a radio button means the default button",
       [](CDialog& d) {
         d.GetDlgItem(1019)->SetFocus();
         EXPECT_NE(test::HasFocus(d.GetDlgItem(1019)), std::optional<bool>(false));
         wxKeyEvent key = Key(WXK_RETURN);
         d.GetWindow()->GetEventHandler()->ProcessEvent(key);
       },
       IDOK, 1, 0},
      {"EndDialog with any code", [](CDialog& d) { d.EndDialog(42); }, 42, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    ProbeDialog dlg;
    DialogScript script;
    script.Expect(IDD_SETTINGS, c.act);
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(dlg.nOKs, c.oks);
    EXPECT_EQ(dlg.nCancels, c.cancels);
    EXPECT_EQ(dlg.GetWindow(), nullptr);
  }
}

TEST(ModalRun, ObjectOutlivesItsWindowAndRunsAgain) {
  ProbeDialog dlg;
  DialogScript script;
  wxDialog* first = nullptr;
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    first = d.GetWindow();
    d.ClickDlgButton(IDCANCEL);
  });
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    EXPECT_NE(d.GetWindow(), nullptr);
    d.ClickDlgButton(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(dlg.GetWindow(), nullptr);
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.nCancels, 1);
  EXPECT_EQ(dlg.nOKs, 1);
}

TEST(ModalRun, EndDialogDuringInitSkipsTheLoop) {
  ProbeDialog dlg;
  dlg.bEndInInit = true;
  // No script: the loop must not even start, or the guard would throw.
  EXPECT_EQ(dlg.DoModal(), 77);
}

TEST(ModalRun, FailuresReachTheCallerInsteadOfHanging) {
  {
    SCOPED_TRACE("a dialog nobody expects");
    ProbeDialog dlg;
    EXPECT_THROW(dlg.DoModal(), std::logic_error);
    EXPECT_EQ(dlg.GetWindow(), nullptr);
  }
  {
    SCOPED_TRACE("a script expecting another dialog");
    ProbeDialog dlg;
    DialogScript script;
    script.Expect(IDD_FILE_EXISTS, [](CDialog& d) { d.EndDialog(1); });
    EXPECT_THROW(dlg.DoModal(), std::logic_error);
  }
  {
    SCOPED_TRACE("a test action that leaves the dialog open");
    ProbeDialog dlg;
    DialogScript script;
    script.Expect(IDD_SETTINGS, [](CDialog&) {});
    EXPECT_THROW(dlg.DoModal(), std::logic_error);
    EXPECT_EQ(dlg.GetWindow(), nullptr);
  }
  {
    SCOPED_TRACE("a failing check inside the action");
    ProbeDialog dlg;
    DialogScript script;
    script.Expect(IDD_SETTINGS, [](CDialog&) { throw std::runtime_error("check failed"); });
    EXPECT_THROW(dlg.DoModal(), std::runtime_error);
  }
  {
    SCOPED_TRACE("an event handler that throws inside the modal loop");
    ProbeDialog dlg;
    dlg.bThrowOnBrowse = true;
    DialogScript script;
    script.Expect(IDD_SETTINGS, [](CDialog& d) {
      d.ClickDlgButton(1013);
      d.EndDialog(IDCANCEL);
    });
    EXPECT_THROW(dlg.DoModal(), std::runtime_error);
    EXPECT_EQ(dlg.GetWindow(), nullptr);
  }
}

TEST(ModalRun, ClicksOnDisabledOrHiddenControlsDoNothing) {
  ProbeDialog dlg;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [](CDialog& d) {
    d.EnableDlgItem(IDOK, false);
    d.ClickDlgButton(IDOK);
    d.GetDlgItem(IDCANCEL)->Hide();
    d.ClickDlgButton(IDCANCEL);
    d.EndDialog(5);
  });
  EXPECT_EQ(dlg.DoModal(), 5);
  EXPECT_EQ(dlg.nOKs, 0);
  EXPECT_EQ(dlg.nCancels, 0);
}

TEST(MessageBoxes, CaptionTextIconAndAnswer) {
  struct Case {
    unsigned type;
    int answer;
    int result;
    long icon;
    long buttons;
  } cases[] = {
      {MB_OK, wxID_OK, IDOK, wxICON_EXCLAMATION, wxOK},
      {MB_OK | MB_ICONINFORMATION, wxID_OK, IDOK, wxICON_INFORMATION, wxOK},
      {MB_OK | MB_ICONERROR, wxID_OK, IDOK, wxICON_ERROR, wxOK},
      {MB_YESNO | MB_ICONQUESTION, wxID_YES, IDYES, wxICON_QUESTION, wxYES_NO},
      {MB_YESNO, wxID_NO, IDNO, wxICON_QUESTION, wxYES_NO},
      {MB_OKCANCEL, wxID_CANCEL, IDCANCEL, wxICON_EXCLAMATION, wxOK | wxCANCEL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << std::hex << c.type);
    MessageBoxRecord box;
    int result = 0;
    wxTEST_DIALOG(result = AppMessageBoxRes(nullptr, IDS_CREATE_DIR_QUESTION, c.type, "/tmp/新"),
                  ExpectMessageBox(c.answer, &box));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(box.caption, "SWF Zalmic Trovex");
    EXPECT_EQ(box.text, "檔案 \"/tmp/新\" 不存在,您要現在建立嗎?");
    EXPECT_EQ(box.style & wxICON_MASK, c.icon);
    EXPECT_EQ(box.style & (wxOK | wxCANCEL | wxYES_NO), c.buttons);
  }
  MessageBoxRecord box;
  wxTEST_DIALOG(AppMessageBoxRes1(nullptr, IDP_PARSE_STRING_SIZE, "255", MB_ICONEXCLAMATION),
                ExpectMessageBox(wxID_OK, &box));
  EXPECT_EQ(box.text, "請輸入不要超過 255 個字符。");
  // A text without conversions is shown as it is, '%' included.
  wxTEST_DIALOG(AppMessageBox(nullptr, "100% 完成", MB_OK), ExpectMessageBox(wxID_OK, &box));
  EXPECT_EQ(box.text, "100% 完成");
}

TEST(DirectoryMenu, ItemsInOrder) {
  std::unique_ptr<wxMenu> menu = LoadPopupMenu(IDR_DIRECTORY_MENU);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->GetMenuItemCount(), 4u);
  struct Item {
    int id;
    const char* text;
  } items[] = {{32771, "預設目錄(D)"}, {32772, "最後儲存目錄(L)"}, {0, nullptr}, {32773, "瀏覽...(B)"}};
  for (size_t i = 0; i < 4; ++i) {
    wxMenuItem* item = menu->FindItemByPosition(i);
    if (!items[i].text) {
      EXPECT_TRUE(item->IsSeparator());
      continue;
    }
    EXPECT_EQ(CommandIdFromWx(item->GetId()), items[i].id);
    EXPECT_LT(item->GetId(), 0x7FFF);
    // The label keeps its mnemonic marker; the toolkit's plain-text form would also drop
    // the "(D)" that stays visible.
    EXPECT_EQ(DisplayText(item->GetItemLabel().utf8_string().c_str()), items[i].text);
  }
  EXPECT_EQ(LoadPopupMenu(IDR_DIRECTORY_MENU, 1), nullptr);
  EXPECT_EQ(LoadPopupMenu(999), nullptr);
}

bool IsMagenta(const wxImage& img, int x, int y) {
  return img.GetRed(x, y) == 255 && img.GetGreen(x, y) == 0 && img.GetBlue(x, y) == 255;
}

TEST(Bitmaps, RowImagesAreTwoMaskedSixteenPixelImages) {
  wxImage strip = LoadResBitmapImage(IDB_ROW_IMAGES);
  ASSERT_TRUE(strip.IsOk());
  EXPECT_EQ(strip.GetSize(), wxSize(32, 16));
  EXPECT_FALSE(strip.HasAlpha());
  for (int half = 0; half < 2; ++half) {
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) opaque += !IsMagenta(strip, half * 16 + x, y);
    EXPECT_GT(opaque, 60) << "image " << half << " is nearly empty";
    EXPECT_LT(opaque, 256) << "image " << half << " has no transparent background";
    EXPECT_TRUE(IsMagenta(strip, half * 16, 0));
    EXPECT_TRUE(IsMagenta(strip, half * 16 + 15, 15));
  }
  // Split into an image list with the mask colour, as the movie list does.
  wxImageList list(16, 16, true, 0);
  EXPECT_GE(list.Add(LoadResBitmap(IDB_ROW_IMAGES)), 0);
  ASSERT_EQ(list.GetImageCount(), 2);
  for (int i = 0; i < 2; ++i) {
    wxImage img = list.GetBitmap(i).ConvertToImage();
    ASSERT_TRUE(img.HasMask() || img.HasAlpha());
    auto transparent = [&img](int x, int y) {
      return img.HasAlpha() ? img.GetAlpha(x, y) == 0
                            : img.GetRed(x, y) == img.GetMaskRed() && img.GetGreen(x, y) == img.GetMaskGreen() &&
                                  img.GetBlue(x, y) == img.GetMaskBlue();
    };
    EXPECT_TRUE(transparent(0, 0)) << "image " << i;
    EXPECT_FALSE(transparent(8, 8)) << "image " << i;
  }
  EXPECT_FALSE(LoadResBitmapImage(1012).IsOk());
}

TEST(Icons, SizesAndColourDepths) {
  const std::set<unsigned long> vga = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                       0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                       0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  auto colours = [](const wxIcon& icon) {
    wxBitmap bmp;
    bmp.CopyFromIcon(icon);
    wxImage img = bmp.ConvertToImage();
    std::set<unsigned long> used;
    for (int y = 0; y < img.GetHeight(); ++y)
      for (int x = 0; x < img.GetWidth(); ++x)
        if (!img.HasAlpha() || img.GetAlpha(x, y) > 0)
          used.insert((img.GetRed(x, y) << 16) | (img.GetGreen(x, y) << 8) | img.GetBlue(x, y));
    return used;
  };
  for (int id : {IDI_BUTTON, IDI_BUTTON_HOT}) {
    SCOPED_TRACE(id);
    wxIconBundle bundle = LoadResIconBundle(id);
    ASSERT_EQ(bundle.GetIconCount(), 2u);
    wxIcon small = bundle.GetIconOfExactSize(wxSize(16, 16));
    wxIcon big = bundle.GetIconOfExactSize(wxSize(20, 20));
    ASSERT_TRUE(small.IsOk());
    ASSERT_TRUE(big.IsOk());
    std::set<unsigned long> smallColours = colours(small);
    EXPECT_GE(smallColours.size(), 3u);
    for (unsigned long c : smallColours) EXPECT_TRUE(vga.count(c)) << std::hex << c << " is not one of the 16 colours";
    EXPECT_LE(colours(big).size(), 256u);
  }
  // The hot icon differs from the normal one.
  EXPECT_NE(colours(LoadResIcon(IDI_BUTTON, 20)), colours(LoadResIcon(IDI_BUTTON_HOT, 20)));
  wxIcon decoration = LoadResIcon(IDI_FILE_EXISTS, 32);
  ASSERT_TRUE(decoration.IsOk());
  EXPECT_EQ(decoration.GetSize(), wxSize(32, 32));
  EXPECT_TRUE(LoadResIconBundle(77).IsEmpty());
}

// Every template drawn with nothing cut; saved for a person too when TROVEX_SCREENSHOT_DIR is set.
TEST(Screenshots, EveryTemplate) {
  const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR");
  for (int id : DialogTemplateIds()) {
    CDialog dlg(id);
    DialogScript script;
    script.Expect(id, [&](CDialog& d) {
      if (id == IDD_FILE_EXISTS) {
        d.SetDlgItemText(1029, "這個資料夾已經包含名稱為'intro_movie_2009_final_version_for_the_website.swf'的檔案了。");
        for (int f : {1025, 1027}) d.SetDlgItemText(f, "1,234 KB");
        for (int f : {1026, 1028}) d.SetDlgItemText(f, "2024-05-17, 13:45:09");
      }
      if (id == IDD_SAVE) {
        for (int f : {1033, 1032}) d.GetDlgItem(f)->Show();
        d.SetDlgItemText(1033, "下載中... (3 KB of ? KB)");
      }
      if (auto* edit = d.GetDlgItemAs<wxTextCtrl>(1001)) edit->SetValue("/home/使用者/影片");
      test::ExpectDrawnAndUnclipped(d.GetWindow(), "dialog" + std::to_string(id) + ".png");
      d.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
  }
  if (!dir) return;
  // The drawn images, eight times enlarged, icons on the dialog background.
  wxImage::AddHandler(new wxPNGHandler);
  auto save = [dir](wxImage img, const char* name) {
    if (img.HasAlpha()) {
      for (int y = 0; y < img.GetHeight(); ++y)
        for (int x = 0; x < img.GetWidth(); ++x) {
          const int a = img.GetAlpha(x, y);
          img.SetRGB(x, y, (img.GetRed(x, y) * a + 240 * (255 - a)) / 255,
                     (img.GetGreen(x, y) * a + 240 * (255 - a)) / 255, (img.GetBlue(x, y) * a + 240 * (255 - a)) / 255);
        }
      img.ClearAlpha();
    }
    img.Rescale(img.GetWidth() * 8, img.GetHeight() * 8, wxIMAGE_QUALITY_NEAREST);
    EXPECT_TRUE(img.SaveFile(std::string(dir) + "/" + name, wxBITMAP_TYPE_PNG));
  };
  save(LoadResBitmapImage(IDB_ROW_IMAGES), "bitmap1011.png");
  auto iconImage = [](int id, int size) {
    wxBitmap bmp;
    bmp.CopyFromIcon(LoadResIcon(id, size));
    return bmp.ConvertToImage();
  };
  save(iconImage(IDI_BUTTON, 16), "icon128_16.png");
  save(iconImage(IDI_BUTTON, 20), "icon128_20.png");
  save(iconImage(IDI_BUTTON_HOT, 16), "icon129_16.png");
  save(iconImage(IDI_BUTTON_HOT, 20), "icon129_20.png");
  save(iconImage(IDI_FILE_EXISTS, 32), "icon1004.png");
}

}  // namespace
}  // namespace trovex

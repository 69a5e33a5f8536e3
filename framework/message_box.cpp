#include "framework/message_box.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>
#include <cstdarg>

#include "framework/dialog.h"
#include "framework/message_dialog.h"
#include "framework/window_manager.h"
#include "framework/wx_text.h"
#include "platform/text/res_text.h"

namespace trovex {

// ---------------------------------------------------------------------------------------------
// The message box window

namespace {

// Characters that never begin a line.
bool ClosesLine(wxUniChar ch) {
  static const wxString closing = wxString::FromUTF8("。，、；：？！」』）》〉】,.;:?!)]}\"'");  // glyphs, not text
  return closing.Find(ch) != wxNOT_FOUND;
}

// Where a text without spaces (an address, a path) may break: after its separators, or next
// to a wide character, so that no word is cut in two.
bool BreaksBefore(const wxString& text, size_t i) {
  static const wxString separators = "/\\?&=#-_.,;:)";
  const wxUniChar before = text[i - 1], at = text[i];
  return separators.Find(before) != wxNOT_FOUND || before.GetValue() >= 0x2E80 || at.GetValue() >= 0x2E80;
}

}  // namespace

CAppMessageDialog::CAppMessageDialog(wxWindow* owner, const wxString& text, const wxString& caption,
                                     long style)
    : wxGenericMessageDialog(owner, text, caption, style) {}

wxString CAppMessageDialog::WrapForDisplay(const wxString& text, const wxFont& font, int maxWidth) {
  wxBitmap bmp(1, 1);
  wxMemoryDC dc(bmp);
  dc.SetFont(font);
  wxString out;
  const wxArrayString paragraphs = wxSplit(text, '\n', '\0');
  for (size_t p = 0; p < paragraphs.size(); ++p) {
    if (p > 0) out += '\n';
    wxString rest = paragraphs[p];
    while (!rest.empty()) {
      wxArrayInt widths;
      dc.GetPartialTextExtents(rest, widths);
      if (widths.empty() || widths.back() <= maxWidth) {
        out += rest;
        break;
      }
      size_t fit = 0;
      while (fit < widths.size() && widths[fit] <= maxWidth) ++fit;
      fit = std::max<size_t>(fit, 1);
      // Prefer the last space that fits; a text without one breaks between characters.
      size_t cut = fit;
      const size_t space = rest.find_last_of(' ', fit);
      bool atSpace = space != wxString::npos && space > 0;
      if (atSpace) {
        cut = space;
      } else {
        size_t at = cut;
        while (at > 1 && !(BreaksBefore(rest, at) && !ClosesLine(rest[at]))) --at;
        if (at > 1 && at * 3 >= fit) {  // not a stub of a line for a word longer than it
          cut = at;
        } else {
          while (cut > 1 && ClosesLine(rest[cut])) --cut;
        }
      }
      wxString line = rest.Left(cut);
      line.Trim(true);
      out += line + '\n';
      rest = rest.Mid(cut);
      if (atSpace) rest.Trim(false);
    }
  }
  return out;
}

void CAppMessageDialog::Build() {
  if (built_) return;
  built_ = true;
  wxDialog::Create(GetParent(), wxID_ANY, GetTitle(), wxDefaultPosition, wxDefaultSize,
                   wxDEFAULT_DIALOG_STYLE);
  SetFont(GetDialogFont());
  const long style = GetMessageDialogStyle();

  auto* row = new wxBoxSizer(wxHORIZONTAL);
  if (style & wxICON_MASK) {
    // GTK's own message dialogs no longer show icons; the icon theme still has them.
    const wxBitmap icon = wxArtProvider::GetBitmap(wxArtProvider::GetMessageBoxIconId(style),
                                                   wxART_MESSAGE_BOX);
    if (icon.IsOk())
      row->Add(new wxStaticBitmap(this, wxID_ANY, icon), wxSizerFlags().Top().Border(wxRIGHT, 16));
  }
  const int displayIndex = GetParent() ? wxDisplay::GetFromWindow(GetParent()) : wxNOT_FOUND;
  const int display =
      wxDisplay(displayIndex == wxNOT_FOUND ? 0u : static_cast<unsigned>(displayIndex))
          .GetClientArea()
          .GetWidth();
  const int maxWidth = std::max(200, std::min(GetTextExtent(wxString::FromUTF8("國")).x * 34,  // glyphs, not text
                                              display / 2));
  auto* text = new wxStaticText(this, wxID_ANY, wxString());
  text->SetLabelText(WrapForDisplay(GetMessage(), GetFont(), maxWidth));
  row->Add(text, wxSizerFlags(1).CentreVertical());

  auto* buttons = new wxStdDialogButtonSizer;
  wxButton* yes = nullptr;
  wxButton* no = nullptr;
  wxButton* ok = nullptr;
  wxButton* cancel = nullptr;
  if (style & wxYES_NO) {
    buttons->AddButton(yes = new wxButton(this, wxID_YES, ResStringToWx(IDS_TROVEX_BUTTON_YES)));
    buttons->AddButton(no = new wxButton(this, wxID_NO, ResStringToWx(IDS_TROVEX_BUTTON_NO)));
  } else {
    buttons->AddButton(ok = new wxButton(this, wxID_OK, ResStringToWx(IDS_TROVEX_BUTTON_OK)));
  }
  if (style & wxCANCEL)
    buttons->AddButton(cancel = new wxButton(this, wxID_CANCEL, ResStringToWx(IDS_TROVEX_BUTTON_CANCEL)));
  buttons->Realize();

  wxButton* def = yes ? yes : ok;
  if ((style & wxNO_DEFAULT) && no) def = no;
  if ((style & wxCANCEL_DEFAULT) && cancel) def = cancel;
  def->SetDefault();
  MarkDefaultButton(def);
  def->SetFocus();

  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(row, wxSizerFlags(1).Expand().Border(wxALL, 16));
  top->Add(buttons, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, 12));
  SetSizerAndFit(top);
  // A short text makes a narrow box; the title bar needs room for the whole caption and the
  // close button beside it.
  const int captionWidth = GetTextExtent(GetTitle()).x * 6 / 5 + 96;
  if (GetSize().x < captionWidth) SetSize(captionWidth, GetSize().y);
  if (GetParent())
    CentreOnParent();
  else
    CentreOnScreen();
  LimitFrameFunctions(this, false);
  Bind(wxEVT_CHAR_HOOK, &CAppMessageDialog::OnCharHook, this);
}

int CAppMessageDialog::ShowModal() {
  // The toolkit's modal hook (tests answer boxes through it) runs in there.
  Build();
  return wxDialog::ShowModal();
}

void CAppMessageDialog::OnCharHook(wxKeyEvent& event) {
  // Y and N answer a yes/no box without Alt, as message boxes always have.
  const int key = event.GetKeyCode();
  if (!event.HasAnyModifiers() && (GetMessageDialogStyle() & wxYES_NO)) {
    if (key == 'Y' || key == 'y') {
      EndModal(wxID_YES);
      return;
    }
    if (key == 'N' || key == 'n') {
      EndModal(wxID_NO);
      return;
    }
  }
  event.Skip();
}

// ---------------------------------------------------------------------------------------------
// The helpers

unsigned EffectiveMessageBoxStyle(unsigned type) {
  if ((type & MB_ICONMASK) == 0) {
    switch (type & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        type |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        type |= MB_ICONQUESTION;
        break;
      default:
        break;
    }
  }
  return type;
}

int AppMessageBox(wxWindow* owner, const std::string& text, unsigned type) {
  type = EffectiveMessageBoxStyle(type);
  long style = 0;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      style = wxOK | wxCANCEL;
      break;
    case MB_YESNO:
      style = wxYES_NO;
      break;
    case MB_YESNOCANCEL:
      style = wxYES_NO | wxCANCEL;
      break;
    default:
      style = wxOK;
      break;
  }
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      style |= wxICON_ERROR;
      break;
    case MB_ICONQUESTION:
      style |= wxICON_QUESTION;
      break;
    case MB_ICONINFORMATION:
      style |= wxICON_INFORMATION;
      break;
    default:
      style |= wxICON_EXCLAMATION;
      break;
  }
  CAppMessageDialog dlg(owner, ToWx(text), ResStringToWx(IDS_APP_TITLE), style);
  switch (dlg.ShowModal()) {
    case wxID_YES:
      return IDYES;
    case wxID_NO:
      return IDNO;
    case wxID_CANCEL:
      return IDCANCEL;
    default:
      // A Yes/No box closed some other way counts as No, an OK box always as OK.
      return (style & wxYES_NO) ? ((style & wxCANCEL) ? IDCANCEL : IDNO) : IDOK;
  }
}

int AppMessageBoxRes(wxWindow* owner, unsigned id, unsigned type, ...) {
  va_list args;
  va_start(args, type);
  std::string text = VFormatResString(id, args);
  va_end(args);
  return AppMessageBox(owner, text, type);
}

int AppMessageBoxRes1(wxWindow* owner, unsigned id, const std::string& arg, unsigned type) {
  return AppMessageBox(owner, FormatString1(id, arg), type);
}

}  // namespace trovex

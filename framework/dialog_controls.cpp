// The controls of a template dialog: made from their templates, and reached by id.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <string>

#include "framework/dialog.h"
#include "framework/window_manager.h"
#include "framework/wx_text.h"
#include "res/images.h"

namespace trovex {

namespace {

// Where and how big a control is, with the text and border its template gives.
struct Placed {
  wxWindow* parent;
  const ControlTemplate& ct;
  wxString text;
  wxPoint pos;
  wxSize size;
  long border;
};

wxWindow* MakeStatic(const Placed& p) {
  auto* c = new wxStaticText(p.parent, p.ct.nId, wxString(), p.pos, p.size, wxST_NO_AUTORESIZE);
  if (p.ct.style & TS_NOPREFIX)
    c->SetLabelText(p.text);
  else
    c->SetLabel(p.text);
  return c;
}

wxWindow* MakePushButton(const Placed& p) {
  // A button narrower than the theme's padding allows ("..." and ">") drops the padding,
  // or its text would not show at all.
  const int textWidth = p.parent->GetTextExtent(Utf8ToWx(DisplayText(p.ct.pszText).c_str())).x;
  const long fit = textWidth + 28 > p.size.x ? wxBU_EXACTFIT : 0;
  auto* b = new wxButton(p.parent, p.ct.nId, p.text, p.pos, p.size, fit);
  if (p.ct.style & TS_DEFAULT) {
    b->SetDefault();
    // The default theme draws no mark of its own on the default button.
    MarkDefaultButton(b);
  }
  return b;
}

wxWindow* MakeEdit(const Placed& p) {
  long style = (p.ct.style & TS_BORDER) ? 0 : wxBORDER_NONE;
  if (p.ct.style & TS_READONLY) style |= wxTE_READONLY;
  auto* edit = new wxTextCtrl(p.parent, p.ct.nId, wxString(), p.pos, p.size, style);
  // Without a border a read-only edit reads as plain text on the dialog's background.
  if ((p.ct.style & TS_READONLY) && !(p.ct.style & TS_BORDER))
    edit->SetBackgroundColour(p.parent->GetBackgroundColour());
  return edit;
}

wxWindow* MakeListView(const Placed& p) {
  long style = p.border | ((p.ct.style & TS_REPORT) ? wxLC_REPORT : wxLC_ICON);
  if (!(p.ct.style & TS_MULTISELECT)) style |= wxLC_SINGLE_SEL;
  if (p.ct.style & TS_NOSORTHEADER) style |= wxLC_NO_SORT_HEADER;
  return new wxListCtrl(p.parent, p.ct.nId, p.pos, p.size, style);
}

wxWindow* MakeTreeView(const Placed& p) {
  long style = p.border | wxTR_SINGLE;
  if (p.ct.style & TS_HASBUTTONS) style |= wxTR_HAS_BUTTONS;
  if (p.ct.style & TS_LINESATROOT) style |= wxTR_LINES_AT_ROOT;
  if (!(p.ct.style & TS_HASLINES)) style |= wxTR_NO_LINES;
  return new wxTreeCtrl(p.parent, p.ct.nId, p.pos, p.size, style);
}

wxWindow* MakeIcon(const Placed& p) {
  wxBitmap bmp;
  if (p.ct.nIconId) {
    wxIcon icon = LoadResIcon(p.ct.nIconId, 32);
    if (icon.IsOk()) bmp.CopyFromIcon(icon);
  }
  return new wxStaticBitmap(p.parent, p.ct.nId, bmp, p.pos, p.size);
}

}  // namespace

wxWindow* CDialog::CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) {
  const Placed p{parent, ct, Utf8ToWx(ct.pszText), rect.GetPosition(), rect.GetSize(),
                 (ct.style & TS_BORDER) ? wxBORDER_THEME : 0};
  switch (ct.kind) {
    case CtlKind::Static: return MakeStatic(p);
    case CtlKind::GroupBox: return new wxStaticBox(parent, ct.nId, p.text, p.pos, p.size);
    case CtlKind::RadioButton:
      return new wxRadioButton(parent, ct.nId, p.text, p.pos, p.size,
                               (ct.style & TS_GROUP) ? wxRB_GROUP : 0);
    case CtlKind::CheckBox: return new wxCheckBox(parent, ct.nId, p.text, p.pos, p.size);
    case CtlKind::PushButton: return MakePushButton(p);
    case CtlKind::Edit: return MakeEdit(p);
    case CtlKind::ListView: return MakeListView(p);
    case CtlKind::TreeView: return MakeTreeView(p);
    case CtlKind::Progress:
      return new wxGauge(parent, ct.nId, 100, p.pos, p.size,
                         wxGA_HORIZONTAL | ((ct.style & TS_SMOOTH) ? wxGA_SMOOTH : 0));
    case CtlKind::Icon: return MakeIcon(p);
    case CtlKind::EtchedLine:
      return new wxStaticLine(parent, ct.nId, p.pos, p.size,
                              ct.cy > ct.cx ? wxLI_VERTICAL : wxLI_HORIZONTAL);
    case CtlKind::Custom: return new wxPanel(parent, ct.nId, p.pos, p.size, p.border);
  }
  return nullptr;
}

wxWindow* CDialog::GetDlgItem(int id) const {
  if (!pWnd_ || id == IDC_STATIC) return nullptr;
  for (wxWindow* child : pWnd_->GetChildren())
    if (child->GetId() == id) return child;
  return nullptr;
}

std::string CDialog::GetDlgItemText(int id) const {
  wxWindow* c = GetDlgItem(id);
  if (!c) return std::string();
  if (auto* text = dynamic_cast<wxTextCtrl*>(c)) return FromWx(text->GetValue());
  if (auto* control = dynamic_cast<wxControl*>(c)) return FromWx(control->GetLabelText());
  return FromWx(c->GetLabel());
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
  wxWindow* c = GetDlgItem(id);
  if (!c) return;
  if (auto* edit = dynamic_cast<wxTextCtrl*>(c)) {
    if (edit->GetValue() != ToWx(text)) edit->SetValue(ToWx(text));
    return;
  }
  const ControlTemplate* ct = FindControlTemplate(*template_, id);
  auto* control = dynamic_cast<wxControl*>(c);
  if (control && ct && (ct->style & TS_NOPREFIX))
    control->SetLabelText(ToWx(text));
  else if (dynamic_cast<wxButton*>(c))
    c->SetLabel(LabelWithMnemonic(ToWx(text)));  // Alt+key keeps working after a relabel
  else
    c->SetLabel(ToWx(text));
}

void CDialog::EnableDlgItem(int id, bool enable) {
  if (wxWindow* c = GetDlgItem(id)) c->Enable(enable);
}

bool CDialog::IsDlgButtonChecked(int id) const {
  wxWindow* c = GetDlgItem(id);
  if (auto* check = dynamic_cast<wxCheckBox*>(c)) return check->GetValue();
  if (auto* radio = dynamic_cast<wxRadioButton*>(c)) return radio->GetValue();
  return false;
}

void CDialog::CheckDlgButton(int id, bool check) {
  wxWindow* c = GetDlgItem(id);
  if (auto* box = dynamic_cast<wxCheckBox*>(c)) box->SetValue(check);
  if (auto* radio = dynamic_cast<wxRadioButton*>(c)) radio->SetValue(check);
}

void CDialog::GotoDlgCtrl(wxWindow* ctrl) {
  if (!ctrl) return;
  ctrl->SetFocus();
  if (auto* edit = dynamic_cast<wxTextCtrl*>(ctrl)) edit->SelectAll();
}

void CDialog::ClickDlgButton(int id) {
  wxWindow* c = GetDlgItem(id);
  if (!c || !c->IsEnabled() || !c->IsShown()) return;
  wxCommandEvent event;
  if (auto* check = dynamic_cast<wxCheckBox*>(c)) {
    check->SetValue(!check->GetValue());
    event.SetEventType(wxEVT_CHECKBOX);
    event.SetInt(check->GetValue() ? 1 : 0);
  } else if (auto* radio = dynamic_cast<wxRadioButton*>(c)) {
    radio->SetValue(true);
    event.SetEventType(wxEVT_RADIOBUTTON);
    event.SetInt(1);
  } else if (dynamic_cast<wxButton*>(c)) {
    event.SetEventType(wxEVT_BUTTON);
  } else {
    return;
  }
  event.SetId(id);
  event.SetEventObject(c);
  c->HandleWindowEvent(event);
}

void CDialog::SetEditInputLimit(wxTextCtrl* edit, int nChars) {
  if (!edit) return;
  const int id = edit->GetId();
  const bool bound = editLimits_.count(id) != 0;
  editLimits_[id] = nChars;
  if (bound) return;
  // Only what the user types or pastes is limited; text set by the program stays whole, so an
  // over-long value reaches the validation instead of being cut silently.
  edit->Bind(wxEVT_CHAR, [this, edit, id](wxKeyEvent& event) {
    auto it = editLimits_.find(id);
    const wxChar ch = event.GetUnicodeKey();
    if (it == editLimits_.end() || ch == WXK_NONE || ch < 32 || ch == WXK_DELETE ||
        event.ControlDown() || event.AltDown()) {
      event.Skip();
      return;
    }
    long from = 0, to = 0;
    edit->GetSelection(&from, &to);
    long length = static_cast<long>(edit->GetValue().length()) - (to - from);
    if (length + 1 > it->second) {
      wxBell();
      return;
    }
    event.Skip();
  });
  edit->Bind(wxEVT_TEXT_PASTE, [this, edit, id](wxClipboardTextEvent& event) {
    auto it = editLimits_.find(id);
    wxString pasted;
    if (it != editLimits_.end() && wxTheClipboard->Open()) {
      wxTextDataObject data;
      if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT)) wxTheClipboard->GetData(data);
      wxTheClipboard->Close();
      pasted = data.GetText();
    }
    long from = 0, to = 0;
    edit->GetSelection(&from, &to);
    long room = (it == editLimits_.end() ? 0 : it->second) -
                (static_cast<long>(edit->GetValue().length()) - (to - from));
    if (it == editLimits_.end() || static_cast<long>(pasted.length()) <= room) {
      event.Skip();
      return;
    }
    if (room > 0) edit->WriteText(pasted.Left(static_cast<size_t>(room)));
    wxBell();
  });
}

}  // namespace trovex

#include "framework/dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include <string>

#include "res/images.h"
#include "framework/message_box.h"
#include "res/strings.h"
#include "framework/window_manager.h"
#include "framework/wx_text.h"

namespace trovex {

// ---------------------------------------------------------------------------------------------
// Dialog units

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  // Rounded half away from zero, as the system function does.
  long long p = static_cast<long long>(a) * b;
  const bool negative = (p < 0) != (c < 0);
  const long long ap = p < 0 ? -p : p;
  const long long ac = c < 0 ? -static_cast<long long>(c) : c;
  const long long q = (ap + ac / 2) / ac;
  return static_cast<int>(negative ? -q : q);
}

wxFont GetDialogFont() {
  // The desktop's GUI font, with the Taiwan glyph shapes of the CJK face.
  wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  wxFont cjk = font;
  if (cjk.SetFaceName("Noto Sans CJK TC")) return cjk;
  return font;
}

DialogBaseUnits GetDialogBaseUnits(const wxFont& font) {
  wxBitmap bmp(1, 1);
  wxMemoryDC dc(bmp);
  dc.SetFont(font);
  wxCoord w = 0, h = 0;
  dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &w, &h);
  DialogBaseUnits base;
  base.cx = (w / 26 + 1) / 2;
  base.cy = dc.GetCharHeight();
  if (base.cx < 1) base.cx = 1;
  if (base.cy < 1) base.cy = 1;
  return base;
}

wxRect DialogUnitsToPixels(const wxRect& dlu, const DialogBaseUnits& base) {
  // Corners are converted, not sizes, so that adjoining controls stay adjoining.
  int left = MulDiv(dlu.x, base.cx, 4);
  int top = MulDiv(dlu.y, base.cy, 8);
  int right = MulDiv(dlu.x + dlu.width, base.cx, 4);
  int bottom = MulDiv(dlu.y + dlu.height, base.cy, 8);
  return wxRect(left, top, right - left, bottom - top);
}

// ---------------------------------------------------------------------------------------------
// The window

class CDialogWindow : public wxDialog {
 public:
  explicit CDialogWindow(CDialog& owner) : owner_(owner) {}

 private:
  void OnClose(wxCloseEvent&) { owner_.OnCancel(); }
  void OnCharHook(wxKeyEvent& event);

  CDialog& owner_;
  wxDECLARE_EVENT_TABLE();
};

wxBEGIN_EVENT_TABLE(CDialogWindow, wxDialog)
  EVT_CLOSE(CDialogWindow::OnClose)
  EVT_CHAR_HOOK(CDialogWindow::OnCharHook)
wxEND_EVENT_TABLE()

void CDialogWindow::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  if (key == WXK_ESCAPE && !event.HasAnyModifiers()) {
    owner_.OnCancel();
    return;
  }
  if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !event.HasAnyModifiers()) {
    // Enter means the default button, unless the focused control uses it itself.
    wxWindow* focus = wxWindow::FindFocus();
    auto* text = dynamic_cast<wxTextCtrl*>(focus);
    bool ownUse = dynamic_cast<wxButton*>(focus) || (text && text->IsMultiLine()) ||
                  dynamic_cast<wxTreeCtrl*>(focus);
    if (!ownUse) {
      for (const auto& ct : owner_.Template().controls) {
        if (ct.kind == CtlKind::PushButton && (ct.style & TS_DEFAULT)) {
          wxWindow* button = owner_.GetDlgItem(ct.nId);
          if (button && button->IsEnabled() && button->IsShown()) {
            owner_.ClickDlgButton(ct.nId);
            return;
          }
        }
      }
    }
  }
  event.Skip();
}

// ---------------------------------------------------------------------------------------------
// CDialog

namespace {

CDialog::ModalHook& HookStorage() {
  static CDialog::ModalHook hook;
  return hook;
}

}  // namespace

wxBEGIN_EVENT_TABLE(CDialog, wxEvtHandler)
  EVT_BUTTON(IDOK, CDialog::OnButtonOK)
  EVT_BUTTON(IDCANCEL, CDialog::OnButtonCancel)
wxEND_EVENT_TABLE()

CDialog::CDialog(int nTemplateId, wxWindow* pParentWnd)
    : nTemplateId_(nTemplateId), template_(FindDialogTemplate(nTemplateId)), pParentWnd_(pParentWnd) {
  if (!template_) throw std::invalid_argument("no dialog template " + std::to_string(nTemplateId));
}

CDialog::~CDialog() { DestroyDialogWindow(); }

CDialog::ModalHook CDialog::SetModalHook(ModalHook hook) {
  ModalHook old = std::move(HookStorage());
  HookStorage() = std::move(hook);
  return old;
}

wxWindow* DefaultDialogOwner() {
  if (wxWindow* active = wxGetActiveWindow()) return wxGetTopLevelParent(active);
  for (wxWindowList::compatibility_iterator node = wxTopLevelWindows.GetLast(); node;
       node = node->GetPrevious()) {
    wxWindow* window = node->GetData();
    if (window->IsShown() && !window->IsBeingDeleted()) return window;
  }
  return nullptr;
}

long CDialog::DialogWindowStyle() const { return wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX; }

bool CDialog::OnCreate(const std::vector<CreatedControl>&) { return true; }

void CDialog::OnDestroy() {}

bool CDialog::CreateDialogWindow() {
  // Created without an owner, the dialog still belongs over the window the user works in.
  wxWindow* parent = pParentWnd_ ? pParentWnd_ : DefaultDialogOwner();
  auto* wnd = new CDialogWindow(*this);
  if (!wnd->Create(parent, wxID_ANY, Utf8ToWx(template_->pszCaption), wxDefaultPosition,
                   wxDefaultSize, DialogWindowStyle())) {
    delete wnd;
    return false;
  }
  pWnd_ = wnd;
  wxFont font = GetDialogFont();
  wnd->SetFont(font);
  base_ = GetDialogBaseUnits(font);
  wxRect client = DialogUnitsToPixels(wxRect(0, 0, template_->cx, template_->cy), base_);
  wnd->SetClientSize(client.GetSize());
  std::vector<CreatedControl> created;
  created.reserve(template_->controls.size());
  for (const auto& ct : template_->controls) {
    const wxRect dlu(ct.x, ct.y, ct.cx, ct.cy);
    const wxRect rect = DialogUnitsToPixels(dlu, base_);
    wxWindow* ctrl = CreateControl(ct, wnd, rect);
    if (!ctrl) continue;
    if (ct.style & TS_HIDDEN) ctrl->Hide();
    if (ct.style & TS_DISABLED) ctrl->Disable();
    created.push_back({ctrl, &ct, dlu, rect});
  }
  wnd->PushEventHandler(this);
  // The window manager keeps a modal dialog over its owner; wx does so only in ShowModal,
  // which the template dialogs do not use.
  MakeModalFor(wnd, parent);
  LimitFrameFunctions(wnd, (DialogWindowStyle() & wxRESIZE_BORDER) != 0);
  try {
    if (!OnCreate(created)) {
      DestroyDialogWindow();
      return false;
    }
  } catch (...) {
    DestroyDialogWindow();
    throw;
  }
  if (parent)
    wnd->CentreOnParent();
  else
    wnd->CentreOnScreen();
  return true;
}

void CDialog::DestroyDialogWindow() {
  if (!pWnd_) return;
  wxDialog* wnd = pWnd_;
  pWnd_ = nullptr;
  wnd->PopEventHandler(false);
  wnd->Hide();
  delete wnd;
  editLimits_.clear();
}

wxWindow* CDialog::CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect) {
  const wxString text = Utf8ToWx(ct.pszText);
  const wxPoint pos = rect.GetPosition();
  const wxSize size = rect.GetSize();
  const long border = (ct.style & TS_BORDER) ? wxBORDER_THEME : 0;
  switch (ct.kind) {
    case CtlKind::Static: {
      auto* c = new wxStaticText(parent, ct.nId, wxString(), pos, size, wxST_NO_AUTORESIZE);
      if (ct.style & TS_NOPREFIX)
        c->SetLabelText(text);
      else
        c->SetLabel(text);
      return c;
    }
    case CtlKind::GroupBox:
      return new wxStaticBox(parent, ct.nId, text, pos, size);
    case CtlKind::RadioButton:
      return new wxRadioButton(parent, ct.nId, text, pos, size, (ct.style & TS_GROUP) ? wxRB_GROUP : 0);
    case CtlKind::CheckBox:
      return new wxCheckBox(parent, ct.nId, text, pos, size);
    case CtlKind::PushButton: {
      // A button narrower than the theme's padding allows ("..." and ">") drops the padding,
      // or its text would not show at all.
      const int textWidth = parent->GetTextExtent(Utf8ToWx(DisplayText(ct.pszText).c_str())).x;
      const long fit = textWidth + 28 > size.x ? wxBU_EXACTFIT : 0;
      auto* b = new wxButton(parent, ct.nId, text, pos, size, fit);
      if (ct.style & TS_DEFAULT) {
        b->SetDefault();
        // The default theme draws no mark of its own on the default button.
        MarkDefaultButton(b);
      }
      return b;
    }
    case CtlKind::Edit: {
      long style = (ct.style & TS_BORDER) ? 0 : wxBORDER_NONE;
      if (ct.style & TS_READONLY) style |= wxTE_READONLY;
      auto* edit = new wxTextCtrl(parent, ct.nId, wxString(), pos, size, style);
      // Without a border a read-only edit reads as plain text on the dialog's background.
      if ((ct.style & TS_READONLY) && !(ct.style & TS_BORDER))
        edit->SetBackgroundColour(parent->GetBackgroundColour());
      return edit;
    }
    case CtlKind::ListView: {
      long style = border | ((ct.style & TS_REPORT) ? wxLC_REPORT : wxLC_ICON);
      if (!(ct.style & TS_MULTISELECT)) style |= wxLC_SINGLE_SEL;
      if (ct.style & TS_NOSORTHEADER) style |= wxLC_NO_SORT_HEADER;
      return new wxListCtrl(parent, ct.nId, pos, size, style);
    }
    case CtlKind::TreeView: {
      long style = border | wxTR_SINGLE;
      if (ct.style & TS_HASBUTTONS) style |= wxTR_HAS_BUTTONS;
      if (ct.style & TS_LINESATROOT) style |= wxTR_LINES_AT_ROOT;
      if (!(ct.style & TS_HASLINES)) style |= wxTR_NO_LINES;
      return new wxTreeCtrl(parent, ct.nId, pos, size, style);
    }
    case CtlKind::Progress:
      return new wxGauge(parent, ct.nId, 100, pos, size,
                         wxGA_HORIZONTAL | ((ct.style & TS_SMOOTH) ? wxGA_SMOOTH : 0));
    case CtlKind::Icon: {
      wxBitmap bmp;
      if (ct.nIconId) {
        wxIcon icon = LoadResIcon(ct.nIconId, 32);
        if (icon.IsOk()) bmp.CopyFromIcon(icon);
      }
      return new wxStaticBitmap(parent, ct.nId, bmp, pos, size);
    }
    case CtlKind::EtchedLine:
      return new wxStaticLine(parent, ct.nId, pos, size,
                              ct.cy > ct.cx ? wxLI_VERTICAL : wxLI_HORIZONTAL);
    case CtlKind::Custom:
      return new wxPanel(parent, ct.nId, pos, size, border);
  }
  return nullptr;
}

int CDialog::DoModal() {
  if (pWnd_) throw std::logic_error("dialog " + std::to_string(nTemplateId_) + " is already running");
  nResult_ = -1;
  bEnded_ = false;
  pendingError_ = nullptr;
  if (!CreateDialogWindow()) return -1;
  try {
    if (OnInitDialog() && !bEnded_) {
      for (const auto& ct : template_->controls) {
        wxWindow* c = (ct.style & TS_TABSTOP) ? GetDlgItem(ct.nId) : nullptr;
        if (c && c->IsEnabled() && c->IsShown()) {
          c->SetFocus();
          break;
        }
      }
    }
  } catch (...) {
    CloseDialogWindow();
    throw;
  }
  if (!bEnded_) {
    pWnd_->Show();
    wxWindowDisabler disabler(pWnd_);
    wxGUIEventLoop loop;
    pLoop_ = &loop;
    if (HookStorage()) pWnd_->CallAfter([this] { RunHookGuarded(); });
    try {
      loop.Run();
    } catch (...) {
      pendingError_ = std::current_exception();
    }
    pLoop_ = nullptr;
  }
  try {
    CloseDialogWindow();
  } catch (...) {
    if (!pendingError_) pendingError_ = std::current_exception();
  }
  if (pendingError_) {
    std::exception_ptr error = pendingError_;
    pendingError_ = nullptr;
    std::rethrow_exception(error);
  }
  return nResult_;
}

void CDialog::CloseDialogWindow() {
  if (!pWnd_) return;
  // The window goes even when the derived class's OnDestroy fails.
  try {
    OnDestroy();
  } catch (...) {
    DestroyDialogWindow();
    throw;
  }
  DestroyDialogWindow();
}

void CDialog::RunHookGuarded() {
  try {
    ModalHook hook = HookStorage();
    if (hook) hook(*this);
    if (!bEnded_)
      throw std::logic_error("dialog " + std::to_string(nTemplateId_) +
                             " is still open after the test's handler");
  } catch (...) {
    pendingError_ = std::current_exception();
    EndDialog(-1);
  }
}

void CDialog::EndDialog(int nResult) {
  nResult_ = nResult;
  bEnded_ = true;
  if (!pLoop_) return;
  if (wxEventLoopBase::GetActive() == pLoop_) {
    pLoop_->ScheduleExit(nResult);
  } else if (pWnd_) {
    // Ended from inside a nested loop (a message box, say): leave ours once it is back.
    struct Retry {
      CDialog* dlg;
      void operator()() const {
        if (!dlg->pLoop_) return;
        if (wxEventLoopBase::GetActive() == dlg->pLoop_)
          dlg->pLoop_->ScheduleExit(dlg->nResult_);
        else if (dlg->pWnd_)
          dlg->pWnd_->CallAfter(Retry{dlg});
      }
    };
    pWnd_->CallAfter(Retry{this});
  }
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange&) {}

void CDialog::OnButtonOK(wxCommandEvent&) { OnOK(); }
void CDialog::OnButtonCancel(wxCommandEvent&) { OnCancel(); }

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

wxRect CDialog::MapDialogRect(const wxRect& dlu) const { return DialogUnitsToPixels(dlu, base_); }

bool CDialog::UpdateData(bool bSaveAndValidate) {
  if (!pWnd_) return false;
  CDataExchange dx(*this, bSaveAndValidate);
  try {
    DoDataExchange(dx);
  } catch (const DataExchangeFailure&) {
    return false;
  }
  return true;
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

// ---------------------------------------------------------------------------------------------
// Data exchange

wxWindow* CDataExchange::PrepareCtrl(int id) {
  wxWindow* c = pDlg->GetDlgItem(id);
  if (!c)
    throw std::logic_error("dialog " + std::to_string(pDlg->GetTemplateId()) + " has no control " +
                           std::to_string(id));
  pLastCtrl = c;
  nLastCtrlId = id;
  bLastIsEdit = dynamic_cast<wxTextCtrl*>(c) != nullptr;
  return c;
}

wxTextCtrl* CDataExchange::PrepareEditCtrl(int id) {
  auto* edit = dynamic_cast<wxTextCtrl*>(PrepareCtrl(id));
  if (!edit) throw std::logic_error("control " + std::to_string(id) + " is not an edit");
  return edit;
}

void CDataExchange::Fail() {
  if (pLastCtrl) pDlg->GotoDlgCtrl(pLastCtrl);
  throw DataExchangeFailure();
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
  dx.PrepareCtrl(id);
  if (dx.bSaveAndValidate)
    value = dx.pDlg->GetDlgItemText(id);
  else
    dx.pDlg->SetDlgItemText(id, value);
}

void DDX_Radio(CDataExchange& dx, int firstId, int& value) {
  dx.PrepareCtrl(firstId);
  const auto& controls = dx.pDlg->Template().controls;
  size_t first = 0;
  while (first < controls.size() && controls[first].nId != firstId) ++first;
  if (dx.bSaveAndValidate) value = -1;
  int index = 0;
  for (size_t i = first; i < controls.size(); ++i) {
    if (i != first && (controls[i].style & TS_GROUP)) break;
    if (controls[i].kind != CtlKind::RadioButton) continue;
    auto* radio = dynamic_cast<wxRadioButton*>(dx.pDlg->GetDlgItem(controls[i].nId));
    if (radio) {
      if (dx.bSaveAndValidate) {
        if (radio->GetValue()) value = index;
      } else if (index == value) {
        radio->SetValue(true);
      } else if (radio->GetValue()) {
        radio->SetValue(false);
      }
    }
    ++index;
  }
}

void DDX_Check(CDataExchange& dx, int id, int& value) {
  auto* check = dynamic_cast<wxCheckBox*>(dx.PrepareCtrl(id));
  if (!check) throw std::logic_error("control " + std::to_string(id) + " is not a check box");
  if (dx.bSaveAndValidate)
    value = check->GetValue() ? 1 : 0;
  else
    check->SetValue(value != 0);
}

void DDV_MaxChars(CDataExchange& dx, const std::string& value, int nChars) {
  if (dx.bSaveAndValidate) {
    if (static_cast<long>(ToWx(value).length()) > nChars) {
      AppMessageBoxRes1(dx.pDlg->GetWindow(), IDP_PARSE_STRING_SIZE, std::to_string(nChars),
                        MB_ICONEXCLAMATION);
      dx.Fail();
    }
  } else if (dx.bLastIsEdit) {
    dx.pDlg->SetEditInputLimit(static_cast<wxTextCtrl*>(dx.pLastCtrl), nChars);
  }
}

}  // namespace trovex

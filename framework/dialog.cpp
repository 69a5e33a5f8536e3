// Template dialogs: the window, its life (created, run modally, ended) and the test hook. The
// controls are in dialog_controls, data exchange in data_exchange, units in dialog_units.
#include "framework/dialog.h"

#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>
#include <wx/treectrl.h>
#include <wx/weakref.h>

#include <string>

#include "framework/message_box.h"  // the dialog results
#include "framework/window_manager.h"
#include "framework/wx_text.h"

namespace trovex {

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

int CDialog::DoModal() {
  if (pWnd_) throw std::logic_error("dialog " + std::to_string(nTemplateId_) + " is already running");
  nResult_ = -1;
  bEnded_ = false;
  pendingError_ = nullptr;
  // Disabling the windows below takes their focus away, and nothing gives it back: this does,
  // so their keys (Escape above all) keep working once this dialog is gone.
  const wxWeakRef<wxWindow> focusBefore(wxWindow::FindFocus());
  const wxWeakRef<wxWindow> parentBefore(pParentWnd_ ? pParentWnd_ : DefaultDialogOwner());
  auto restoreFocus = [&] {
    wxWindow* target = focusBefore ? focusBefore.get() : parentBefore.get();
    if (target && target->IsEnabled() && target->IsShownOnScreen()) target->SetFocus();
  };
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
  restoreFocus();
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

wxRect CDialog::MapDialogRect(const wxRect& dlu) const { return DialogUnitsToPixels(dlu, base_); }

}  // namespace trovex

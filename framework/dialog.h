// Dialogs built from templates: the window and its controls are created from a dialog
// template (res/templates.h), rectangles converted from dialog units to pixels with the dialog
// font as Windows does. A CDialog object outlives its window: the window exists only inside
// DoModal, members keep their values between runs.
//
// Derived classes bind controls to members in DoDataExchange and handle events through an
// event table of their own (wxBEGIN_EVENT_TABLE(CDlgX, CDialog)); the dialog object is pushed
// in front of the window, so it sees the window's events (EVT_SIZE included) and its controls'
// commands first. The window is modal and transient for its owner at the window manager.
// Buttons IDOK and IDCANCEL call OnOK and OnCancel; so do Enter on the default button, Escape
// and the close box (OnCancel).
#pragma once

#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/font.h>

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "res/templates.h"

class wxEventLoopBase;
class wxTextCtrl;

namespace trovex {

class CDialog;

// Thrown by CDataExchange::Fail; UpdateData catches it and reports failure.
struct DataExchangeFailure : std::exception {
  const char* what() const noexcept override { return "dialog data validation failed"; }
};

class CDataExchange {
 public:
  CDataExchange(CDialog& dlg, bool bSaveAndValidate) : pDlg(&dlg), bSaveAndValidate(bSaveAndValidate) {}
  CDialog* const pDlg;
  const bool bSaveAndValidate;

  // The control about to be exchanged (remembered so that Fail can focus it). Throws
  // std::logic_error when the dialog has no such control.
  wxWindow* PrepareCtrl(int id);
  wxTextCtrl* PrepareEditCtrl(int id);
  // Focuses the last prepared control (selecting an edit's text) and ends the exchange.
  [[noreturn]] void Fail();

  wxWindow* pLastCtrl = nullptr;
  int nLastCtrlId = 0;
  bool bLastIsEdit = false;
};

// Edit or static text <-> string (locale code page).
void DDX_Text(CDataExchange& dx, int id, std::string& value);
// Radio group starting at firstId <-> index of the checked button (-1: none).
void DDX_Radio(CDataExchange& dx, int firstId, int& value);
// Check box <-> 0 or 1.
void DDX_Check(CDataExchange& dx, int id, int& value);
// Saving: more than nChars characters shows message 61716 and fails. Loading: the last
// prepared edit takes at most nChars characters of typed or pasted input (text set by the
// program is never cut).
void DDV_MaxChars(CDataExchange& dx, const std::string& value, int nChars);

// Dialog font and dialog-unit conversion.
wxFont GetDialogFont();
struct DialogBaseUnits {
  int cx;  // average character width, pixels
  int cy;  // character height, pixels
};
DialogBaseUnits GetDialogBaseUnits(const wxFont& font);
// Windows' MulDiv: a * b / c rounded to the nearest integer.
int MulDiv(int a, int b, int c);
wxRect DialogUnitsToPixels(const wxRect& dlu, const DialogBaseUnits& base);

// The window a dialog created without an owner belongs over: the active top-level window, or
// else (without a window manager nothing may be active) the newest shown one. Null when no
// window is shown.
wxWindow* DefaultDialogOwner();

// A control as CreateDialogWindow made it from the template.
struct CreatedControl {
  wxWindow* pCtrl;
  const ControlTemplate* pTemplate;
  wxRect rectDlu;  // the template's rectangle, dialog units
  wxRect rectPx;   // the same in pixels, client coordinates
};

class CDialog : public wxEvtHandler {
 public:
  explicit CDialog(int nTemplateId, wxWindow* pParentWnd = nullptr);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the window, runs OnInitDialog and the modal loop, destroys the window. Returns the
  // value given to EndDialog, or -1 when the window could not be created. Exceptions thrown by
  // handlers inside the loop end the dialog and are rethrown here.
  int DoModal();
  void EndDialog(int nResult);

  int GetTemplateId() const { return nTemplateId_; }
  const DialogTemplate& Template() const { return *template_; }
  wxWindow* GetParentWnd() const { return pParentWnd_; }
  void SetParentWnd(wxWindow* parent) { pParentWnd_ = parent; }
  // The dialog window while it exists, else null.
  wxDialog* GetWindow() const { return pWnd_; }
  bool IsModalRunning() const { return pLoop_ != nullptr; }

  // Controls by id (null when absent or when the window does not exist).
  wxWindow* GetDlgItem(int id) const;
  template <class T>
  T* GetDlgItemAs(int id) const {
    return dynamic_cast<T*>(GetDlgItem(id));
  }
  std::string GetDlgItemText(int id) const;  // locale code page, mnemonic markers removed
  void SetDlgItemText(int id, const std::string& text);
  void EnableDlgItem(int id, bool enable = true);
  bool IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, bool check);
  // Moves the keyboard focus to the control; an edit gets all its text selected.
  void GotoDlgCtrl(wxWindow* ctrl);
  // Sends the control's click as the toolkit does when the user clicks it (a check box or
  // radio button changes its state first). Used by tests and by keyboard handling.
  void ClickDlgButton(int id);

  // Dialog units to pixels with this dialog's font.
  wxRect MapDialogRect(const wxRect& dlu) const;
  DialogBaseUnits BaseUnits() const { return base_; }

  // false when a control failed validation (the user has been told and the control focused).
  bool UpdateData(bool bSaveAndValidate = true);

  // Test support: called, inside the modal loop, for every template dialog that becomes modal.
  // The handler must end the dialog (EndDialog or a button click). Returns the previous one.
  using ModalHook = std::function<void(CDialog&)>;
  static ModalHook SetModalHook(ModalHook hook);


  // Used by DDV_MaxChars.
  void SetEditInputLimit(wxTextCtrl* edit, int nChars);

 protected:
  virtual void DoDataExchange(CDataExchange& dx);
  // Base: loads the controls (UpdateData(false)). true: focus the first control that takes it.
  virtual bool OnInitDialog();
  // Base: saves and validates the controls, ends with IDOK when that succeeds.
  virtual void OnOK();
  // Base: ends with IDCANCEL.
  virtual void OnCancel();
  // Creates one control of the template. Override to supply a class of your own for an id;
  // call the base for the others.
  virtual wxWindow* CreateControl(const ControlTemplate& ct, wxWindow* parent, const wxRect& rect);
  // The style the window is created with. Base: caption, system menu and close box, no
  // sizing border.
  virtual long DialogWindowStyle() const;
  // After the window and every control exist (sized to the template, events already routed to
  // this object), before OnInitDialog. false fails the creation: DoModal then returns -1.
  virtual bool OnCreate(const std::vector<CreatedControl>& controls);
  // Right before the window is destroyed at the end of DoModal, while it and its controls still
  // exist. Overrides call the base last.
  virtual void OnDestroy();

 private:
  friend class CDialogWindow;
  bool CreateDialogWindow();
  // OnDestroy, then DestroyDialogWindow.
  void CloseDialogWindow();
  void DestroyDialogWindow();
  void RunHookGuarded();
  void OnButtonOK(wxCommandEvent& event);
  void OnButtonCancel(wxCommandEvent& event);

  const int nTemplateId_;
  const DialogTemplate* template_;
  wxWindow* pParentWnd_;
  wxDialog* pWnd_ = nullptr;
  wxEventLoopBase* pLoop_ = nullptr;
  DialogBaseUnits base_{};
  int nResult_ = -1;
  bool bEnded_ = false;
  std::exception_ptr pendingError_;
  std::map<int, int> editLimits_;  // control id -> input limit in characters

  wxDECLARE_EVENT_TABLE();
};

}  // namespace trovex

#include "framework/message_box.h"

#include <wx/msgdlg.h>

#include <cstdarg>

#include "res/strings.h"
#include "framework/wx_text.h"

namespace trovex {

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
  wxMessageDialog dlg(owner, ToWx(text), Utf8ToWx(LoadResStringUtf8(IDS_APP_TITLE).c_str()), style);
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

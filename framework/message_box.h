// Message boxes with string-table texts and the application title as caption, following the
// icon rules of the system: an explicit icon is honoured; without one an OK or OK/Cancel box
// shows the exclamation icon and a Yes/No box the question icon.
#pragma once

#include <string>

class wxWindow;

namespace trovex {

// Styles (the Windows values, so callers can pass the familiar numbers).
constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_OKCANCEL = 0x00000001;
constexpr unsigned MB_YESNOCANCEL = 0x00000003;
constexpr unsigned MB_YESNO = 0x00000004;
constexpr unsigned MB_TYPEMASK = 0x0000000F;
constexpr unsigned MB_ICONERROR = 0x00000010;
constexpr unsigned MB_ICONHAND = MB_ICONERROR;
constexpr unsigned MB_ICONSTOP = MB_ICONERROR;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONINFORMATION = 0x00000040;
constexpr unsigned MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr unsigned MB_ICONMASK = 0x000000F0;

// Dialog results (also the ids of the OK and Cancel buttons of dialog templates).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// The style actually used: type bits kept, the icon added when none was requested.
unsigned EffectiveMessageBoxStyle(unsigned type);

// Shows text (in the locale's code page) with the application title as caption. owner may be
// null: the box is then shown without an owner. Returns IDOK, IDCANCEL, IDYES or IDNO.
int AppMessageBox(wxWindow* owner, const std::string& text, unsigned type = MB_OK);
// Shows string resource id, formatted printf-style with the arguments when any are given.
int AppMessageBoxRes(wxWindow* owner, unsigned id, unsigned type, ...);
// Shows string resource id with "%1" replaced by arg (the framework's messages).
int AppMessageBoxRes1(wxWindow* owner, unsigned id, const std::string& arg, unsigned type);

}  // namespace trovex

// Text at the toolkit boundary: the application's strings hold the locale's code page, the
// toolkit wants wide strings.
#pragma once

#include <wx/string.h>

#include <string>

namespace trovex {

// Application text (locale code page) to the toolkit. Bytes the locale cannot decode are read
// as UTF-8, then as Latin-1, so no text is ever lost on the way to the screen.
wxString ToWx(const std::string& text);
// Toolkit text to the locale's code page (UTF-8 under the C locale); characters the code page
// cannot hold become '?'.
std::string FromWx(const wxString& text);
// UTF-8 text (the resource tables) to the toolkit.
inline wxString Utf8ToWx(const char* text) { return text ? wxString::FromUTF8(text) : wxString(); }
// A text of the string table for the toolkit.
wxString ResStringToWx(unsigned id);

}  // namespace trovex

namespace trovex {

// A button text of the string table, "儲存(S)", as a toolkit label whose key in brackets is
// the mnemonic ("儲存(&S)"). Texts that already mark one, or have no such key, are unchanged.
wxString LabelWithMnemonic(const wxString& text);

}  // namespace trovex

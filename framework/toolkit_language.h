// The toolkit's own texts and glyphs in Traditional Chinese whatever the locale: its file
// dialogs, stock buttons and menus, and the Taiwan shapes of CJK characters in every widget.
// Header only, so a host program uses it without linking the dialog framework.
#pragma once

#include <wx/translation.h>

#include <clocale>
#include <cstdlib>

namespace trovex {

// Before the toolkit starts: the text layout engine picks CJK shapes by these languages.
inline void PrepareToolkitLanguage() {
  setenv("PANGO_LANGUAGE", "zh-tw", 1);
  setenv("LANGUAGE", "zh_TW:zh", 1);
}

// After the toolkit has started (it sets the locale from the environment): messages follow
// LANGUAGE only under a locale other than C, and the toolkit's catalogue follows zh_TW. The
// code page (LC_CTYPE) stays the user's. Returns false when no Traditional Chinese locale is
// installed (the set-up script generates one).
inline bool ApplyToolkitLanguage() {
  bool ok = std::setlocale(LC_MESSAGES, "zh_TW.UTF-8") != nullptr;
  if (!ok) ok = std::setlocale(LC_MESSAGES, "zh_TW.utf8") != nullptr;
  auto* translations = new wxTranslations;
  translations->SetLanguage("zh_TW");
  translations->AddStdCatalog();
  wxTranslations::Set(translations);
  return ok;
}

}  // namespace trovex

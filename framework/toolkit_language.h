// The toolkit's own texts and glyphs in Traditional Chinese whatever the locale: its file
// dialogs, stock buttons and menus, and the Taiwan shapes of CJK characters in every widget.
// Header only, so a host program uses it without linking the dialog framework.
#pragma once

#include <gtk/gtk.h>
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

// Makes the toolkit's default font (menus, toolbars, labels, its own dialogs) the Traditional
// Chinese face at the desktop's size, so CJK text has the Taiwan glyph shapes everywhere and
// not the shapes the font fallback picks. Call once after the toolkit has started.
inline void UseTraditionalChineseFace() {
  GtkSettings* settings = gtk_settings_get_default();
  if (!settings) return;
  gchar* current = nullptr;
  g_object_get(settings, "gtk-font-name", &current, nullptr);
  PangoFontDescription* font = pango_font_description_from_string(current ? current : "Sans 10");
  g_free(current);
  pango_font_description_set_family(font, "Noto Sans CJK TC");
  gchar* wanted = pango_font_description_to_string(font);
  pango_font_description_free(font);
  g_object_set(settings, "gtk-font-name", wanted, nullptr);
  g_free(wanted);
}

// The one look of every program that shows our windows: the toolkit's texts and its face.
// Call once after the toolkit has started; false as ApplyToolkitLanguage.
inline bool UseTraditionalChineseToolkit() {
  const bool ok = ApplyToolkitLanguage();
  UseTraditionalChineseFace();
  return ok;
}

}  // namespace trovex

// Dialog units: the template's coordinates, a quarter of the font's average character width
// and an eighth of its height, turned into pixels.
#include <wx/dcmemory.h>
#include <wx/settings.h>

#include "framework/dialog.h"

namespace trovex {

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

}  // namespace trovex

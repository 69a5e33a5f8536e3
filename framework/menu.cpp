#include "framework/menu.h"

#include <wx/menu.h>

#include "res/templates.h"
#include "framework/wx_text.h"

namespace trovex {

std::unique_ptr<wxMenu> LoadPopupMenu(int menuId, size_t index) {
  const MenuTemplate* tmpl = FindMenuTemplate(menuId);
  if (!tmpl || index >= tmpl->popups.size()) return nullptr;
  auto menu = std::make_unique<wxMenu>();
  for (const auto& item : tmpl->popups[index].items) {
    if (item.nId == 0)
      menu->AppendSeparator();
    else
      menu->Append(WxCommandId(item.nId), Utf8ToWx(item.pszText));
  }
  return menu;
}

}  // namespace trovex

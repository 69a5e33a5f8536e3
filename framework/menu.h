// Menus built from menu templates.
#pragma once

#include <memory>

class wxMenu;

namespace trovex {

// Pop-up number index of menu resource id, or null when there is none. Item ids are the
// command ids mapped by WxCommandId (res/templates.h).
std::unique_ptr<wxMenu> LoadPopupMenu(int menuId, size_t index = 0);

}  // namespace trovex

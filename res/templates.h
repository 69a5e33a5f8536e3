// Dialog and menu templates: what each dialog holds, where (in dialog units) and with which
// styles. Dialogs are laid out from these tables by CDialog (res/dialog_template.h).
#pragma once

#include <string>
#include <vector>

namespace trovex {

// Dialog, menu, bitmap and icon resource ids.
constexpr int IDD_SAVE = 1000;
constexpr int IDD_DIRECTORY_PICKER = 1001;
constexpr int IDD_NEW_FOLDER = 1007;
constexpr int IDD_SETTINGS = 1008;
constexpr int IDD_FILE_EXISTS = 1009;
constexpr int IDR_DIRECTORY_MENU = 1002;
constexpr int IDB_ROW_IMAGES = 1011;
constexpr int IDI_BUTTON = 128;
constexpr int IDI_BUTTON_HOT = 129;
constexpr int IDI_FILE_EXISTS = 1004;

// Id of controls that are never addressed (labels, group boxes, decorations).
constexpr int IDC_STATIC = -1;

enum class CtlKind {
  Static,       // text label
  GroupBox,
  RadioButton,
  CheckBox,
  PushButton,
  Edit,
  ListView,
  TreeView,
  Progress,
  Icon,         // picture control showing an icon (nIconId, or one set at run time)
  EtchedLine,   // thin etched line; vertical when higher than wide
  Custom,       // a window the dialog class supplies itself (e.g. a preview)
};

// Control styles. Controls are visible and enabled unless said otherwise.
enum CtlStyle : unsigned {
  TS_GROUP = 1u << 0,           // first control of a group (radio groups end at the next one)
  TS_TABSTOP = 1u << 1,
  TS_DISABLED = 1u << 2,
  TS_HIDDEN = 1u << 3,
  TS_BORDER = 1u << 4,
  TS_DEFAULT = 1u << 5,         // the default push button
  TS_NOPREFIX = 1u << 6,        // static: '&' is shown as it is
  TS_AUTOHSCROLL = 1u << 7,     // edit: scrolls horizontally
  TS_READONLY = 1u << 8,        // edit
  TS_REPORT = 1u << 9,          // list view: report view
  TS_SHOWSELALWAYS = 1u << 10,  // list and tree view
  TS_NOSORTHEADER = 1u << 11,   // list view: headers are not buttons
  TS_MULTISELECT = 1u << 12,    // list view: several rows may be selected
  TS_HASBUTTONS = 1u << 13,     // tree view
  TS_HASLINES = 1u << 14,       // tree view
  TS_LINESATROOT = 1u << 15,    // tree view
  TS_NODRAGDROP = 1u << 16,     // tree view
  TS_INFOTIP = 1u << 17,        // tree view
  TS_SMOOTH = 1u << 18,         // progress bar
};

// Dialog styles.
enum DlgStyle : unsigned {
  DS_CAPTION = 1u << 0,
  DS_SYSMENU = 1u << 1,
  DS_MODALFRAME = 1u << 2,
  DS_SETFOREGROUND = 1u << 3,
  DS_CLIPCHILDREN = 1u << 4,
  DS_CLIPSIBLINGS = 1u << 5,
};

struct ControlTemplate {
  int nId;              // IDC_STATIC for controls nobody addresses
  CtlKind kind;
  const char* pszText;  // UTF-8; '&' marks the mnemonic letter ("&&" for a '&'); null: none
  int x, y, cx, cy;     // dialog units
  unsigned style;
  int nIconId;          // icon controls: icon resource shown from the start, 0 for none
};

struct DialogTemplate {
  int nId;
  const char* pszCaption;  // UTF-8
  int cx, cy;              // client size in dialog units
  const char* pszFontFace;
  int nPointSize;
  unsigned style;
  std::vector<ControlTemplate> controls;  // in tab and z order
};

// Menu command ids. Commands 0x8000 to 0x9FFE lie beyond the toolkit's limit for item ids
// (0x7FFF), so menus carry them moved to 0x6000 to 0x7FFE: bind EVT_MENU to WxCommandId(ID_...).
constexpr int ID_DIR_DEFAULT = 32771;
constexpr int ID_DIR_LAST = 32772;
constexpr int ID_DIR_BROWSE = 32773;
constexpr int kCommandIdShift = 0x2000;
constexpr int WxCommandId(int commandId) {
  return commandId >= 0x8000 && commandId < 0x9FFF ? commandId - kCommandIdShift : commandId;
}
constexpr int CommandIdFromWx(int wxId) {
  return wxId >= 0x6000 && wxId < 0x7FFF ? wxId + kCommandIdShift : wxId;
}

struct MenuItemTemplate {
  int nId;              // command id (before WxCommandId); 0 for a separator
  const char* pszText;  // UTF-8 with '&' mnemonics; null for a separator
};

struct MenuTemplate {
  int nId;
  // The menu's pop-ups, each with its caption and items.
  struct Popup {
    const char* pszText;
    std::vector<MenuItemTemplate> items;
  };
  std::vector<Popup> popups;
};

// The template of a dialog, or null for an unknown id.
const DialogTemplate* FindDialogTemplate(int id);
std::vector<int> DialogTemplateIds();
const MenuTemplate* FindMenuTemplate(int id);

// The control of a template by id, or null.
const ControlTemplate* FindControlTemplate(const DialogTemplate& dlg, int id);

// A template text as shown on screen: mnemonic markers removed ("&&" gives '&').
// Texts of TS_NOPREFIX statics are shown unchanged.
std::string DisplayText(const char* pszText);

}  // namespace trovex

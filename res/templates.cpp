#include "res/templates.h"

#include <map>

namespace trovex {
namespace {

constexpr unsigned kDialog = DS_CAPTION | DS_SYSMENU | DS_MODALFRAME;
constexpr unsigned kButton = TS_TABSTOP;
constexpr unsigned kDefButton = TS_TABSTOP | TS_DEFAULT;
constexpr unsigned kEdit = TS_BORDER | TS_AUTOHSCROLL | TS_TABSTOP;
constexpr unsigned kFirstRadio = TS_GROUP | TS_TABSTOP;

using K = CtlKind;

// clang-format off
const std::map<int, DialogTemplate>& Dialogs() {
  static const std::map<int, DialogTemplate> dialogs = {
    {IDD_SAVE, {IDD_SAVE, "儲存", 386, 206, "MS Shell Dlg", 8,
      kDialog | DS_SETFOREGROUND | DS_CLIPCHILDREN | DS_CLIPSIBLINGS, {
        {1037, K::Static, "儲存至(&V)", 7, 9, 38, 8, 0, 0},
        {1001, K::Edit, nullptr, 49, 6, 315, 13, kEdit, 0},
        {1002, K::PushButton, ">", 368, 6, 11, 13, kButton, 0},
        {1000, K::ListView, "列表1", 7, 23, 190, 149,
         TS_REPORT | TS_SHOWSELALWAYS | TS_NOSORTHEADER | TS_MULTISELECT | TS_BORDER | TS_TABSTOP, 0},
        {1038, K::Custom, nullptr, 199, 23, 180, 149, 0, 0},
        {1033, K::Static, "靜態", 7, 175, 210, 8, TS_HIDDEN | TS_NOPREFIX, 0},
        {1032, K::Progress, nullptr, 274, 175, 105, 8, TS_HIDDEN | TS_SMOOTH, 0},
        {1009, K::PushButton, "設定(&T)", 7, 186, 36, 14, kButton, 0},
        {1006, K::PushButton, "選擇全部(&A)", 46, 186, 52, 14, kButton, 0},
        {1007, K::PushButton, "取消所有選擇(&D)", 102, 186, 67, 14, kButton, 0},
        {1034, K::PushButton, "儲存(&S)", 171, 186, 37, 14, kDefButton, 0},
        {1043, K::PushButton, "匯入 SWF Zalmic(&Q)", 211, 186, 80, 14, kButton, 0},
        {1044, K::PushButton, "匯入 SWF Ordavin(&C)", 295, 186, 88, 14, kButton, 0},
      }}},
    {IDD_DIRECTORY_PICKER, {IDD_DIRECTORY_PICKER, "選擇目錄", 235, 202, "MS Shell Dlg", 8, kDialog, {
        {1001, K::Edit, nullptr, 7, 7, 146, 13, kEdit, 0},
        {1005, K::PushButton, ">", 156, 7, 14, 13, kButton, 0},
        {1004, K::TreeView, "目錄樹", 7, 25, 163, 170,
         TS_HASBUTTONS | TS_HASLINES | TS_LINESATROOT | TS_SHOWSELALWAYS | TS_NODRAGDROP |
         TS_INFOTIP | TS_BORDER | TS_TABSTOP, 0},
        {1, K::PushButton, "確定", 178, 7, 50, 14, kDefButton, 0},
        {2, K::PushButton, "取消", 178, 26, 50, 14, kButton, 0},
        {1003, K::PushButton, "新資料夾(&N)", 178, 62, 50, 14, kButton, 0},
      }}},
    {IDD_NEW_FOLDER, {IDD_NEW_FOLDER, "新資料夾", 279, 90, "MS Shell Dlg", 8, kDialog, {
        {IDC_STATIC, K::Static, "目前目錄:", 7, 7, 48, 8, 0, 0},
        {1019, K::Edit, nullptr, 62, 7, 142, 12, TS_READONLY | TS_AUTOHSCROLL, 0},
        {IDC_STATIC, K::Static, "新資料夾(&N)", 7, 24, 48, 8, 0, 0},
        {1017, K::Edit, nullptr, 61, 22, 142, 12, kEdit, 0},
        {IDC_STATIC, K::GroupBox, "備註", 7, 39, 199, 44, 0, 0},
        {IDC_STATIC, K::Static,
         "你可以在選定的\"目錄\"對話方塊裡輸入檔案名稱，自動建立一個資料夾。", 17, 51, 179, 28, 0, 0},
        {IDC_STATIC, K::EtchedLine, nullptr, 213, 7, 1, 78, 0, 0},
        {1, K::PushButton, "確定", 222, 7, 50, 14, kDefButton, 0},
        {2, K::PushButton, "取消", 222, 26, 50, 14, kButton, 0},
      }}},
    {IDD_SETTINGS, {IDD_SETTINGS, "設定", 279, 178, "MS Shell Dlg", 8, kDialog, {
        {IDC_STATIC, K::GroupBox, "儲存預設目錄。", 7, 7, 265, 57, 0, 0},
        {1010, K::RadioButton, "最後儲存目錄(&L)", 23, 19, 207, 10, kFirstRadio, 0},
        {1011, K::RadioButton, "指定(&S):", 23, 31, 207, 10, 0, 0},
        {1001, K::Edit, nullptr, 36, 44, 212, 12, kEdit | TS_GROUP, 0},
        {1013, K::PushButton, "...", 252, 44, 14, 13, kButton, 0},
        {IDC_STATIC, K::GroupBox, "若目標檔案已存在。", 7, 68, 265, 66, 0, 0},
        {1018, K::RadioButton, "自動重新命名(&A)", 23, 82, 207, 10, kFirstRadio, 0},
        {1019, K::RadioButton, "覆寫(&O)", 23, 94, 207, 10, 0, 0},
        {1020, K::RadioButton, "略過(&K)", 23, 106, 207, 10, 0, 0},
        {1021, K::RadioButton, "提示我(&P)", 23, 118, 207, 10, 0, 0},
        {1050, K::CheckBox, "同時儲存影片載入的檔案(&F)", 7, 140, 265, 10, TS_TABSTOP | TS_GROUP, 0},
        {1, K::PushButton, "確定", 165, 157, 50, 14, kDefButton | TS_GROUP, 0},
        {2, K::PushButton, "取消", 222, 157, 50, 14, kButton, 0},
      }}},
    // The message on top with the decoration icon at its right, the file to be written, the
    // existing file, the apply-to-all box, and the four answers in a row.
    {IDD_FILE_EXISTS, {IDD_FILE_EXISTS, "檔案已經存在。", 265, 159, "MS Shell Dlg", 8, kDialog, {
        {1029, K::Static, "這個資料夾已經包含名稱為'%s'的檔案了。", 7, 7, 218, 20, 0, 0},
        {IDC_STATIC, K::Static, "複製檔案:", 7, 32, 100, 8, 0, 0},
        {1023, K::Icon, nullptr, 14, 44, 21, 20, 0, 0},
        {IDC_STATIC, K::Static, "檔案大小:", 42, 44, 40, 8, 0, 0},
        {1025, K::Static, "", 84, 44, 170, 8, TS_NOPREFIX, 0},
        {IDC_STATIC, K::Static, "日期:", 42, 55, 40, 8, 0, 0},
        {1026, K::Static, "", 84, 55, 170, 8, TS_NOPREFIX, 0},
        {IDC_STATIC, K::Static, "現存檔案", 7, 72, 100, 8, 0, 0},
        {1024, K::Icon, nullptr, 14, 84, 21, 20, 0, 0},
        {IDC_STATIC, K::Static, "檔案大小:", 42, 84, 40, 8, 0, 0},
        {1027, K::Static, "", 84, 84, 170, 8, TS_NOPREFIX, 0},
        {IDC_STATIC, K::Static, "日期:", 42, 95, 40, 8, 0, 0},
        {1028, K::Static, "", 84, 95, 170, 8, TS_NOPREFIX, 0},
        {1022, K::CheckBox, "應用在所有檔案。", 7, 116, 150, 10, TS_TABSTOP, 0},
        {1019, K::PushButton, "自動重新命名(&A)", 24, 138, 66, 14, kDefButton | TS_GROUP, 0},
        {1020, K::PushButton, "重新命名(&R)", 94, 138, 56, 14, kButton, 0},
        {1021, K::PushButton, "覆寫(&O)", 154, 138, 50, 14, kButton, 0},
        {1030, K::PushButton, "略過(&S)", 208, 138, 50, 14, kButton, 0},
        {IDC_STATIC, K::Icon, nullptr, 233, 7, 21, 20, 0, IDI_FILE_EXISTS},
      }}},
  };
  return dialogs;
}

const std::map<int, MenuTemplate>& Menus() {
  static const std::map<int, MenuTemplate> menus = {
    {IDR_DIRECTORY_MENU, {IDR_DIRECTORY_MENU, {
        {"", {
          {32771, "預設目錄(&D)"},
          {32772, "最後儲存目錄(&L)"},
          {0, nullptr},
          {32773, "瀏覽...(&B)"},
        }},
      }}},
  };
  return menus;
}
// clang-format on

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  auto it = Dialogs().find(id);
  return it == Dialogs().end() ? nullptr : &it->second;
}

std::vector<int> DialogTemplateIds() {
  std::vector<int> ids;
  for (const auto& [id, dlg] : Dialogs()) ids.push_back(id);
  return ids;
}

const MenuTemplate* FindMenuTemplate(int id) {
  auto it = Menus().find(id);
  return it == Menus().end() ? nullptr : &it->second;
}

const ControlTemplate* FindControlTemplate(const DialogTemplate& dlg, int id) {
  for (const auto& ct : dlg.controls)
    if (ct.nId == id && id != IDC_STATIC) return &ct;
  return nullptr;
}

std::string DisplayText(const char* pszText) {
  std::string out;
  if (!pszText) return out;
  for (const char* p = pszText; *p; ++p) {
    if (*p == '&') {
      if (p[1] == '&') {
        out += '&';
        ++p;
      }
      continue;
    }
    out += *p;
  }
  return out;
}

}  // namespace trovex

#include "res/strings.h"

#include <cstdio>
#include <map>

namespace trovex {
namespace {

// clang-format off
const std::map<unsigned, const char*>& Table() {
  static const std::map<unsigned, const char*> table = {
    {32000, "目前頁面找不到Flash影片。"},
    {32001, "檔案名稱\n尺寸\n狀態\nURL"},
    {32002, "儲存檔案 '%s'失敗: %s"},
    {32003, "準備"},
    {32004, "下載中"},
    {32005, "失敗"},
    {32006, "完成"},
    {32007, "取消"},
    {32009, "下載中... (%s of %s)"},
    {32010, "儲存(S)"},
    {32011, "暫停(S)"},
    {32012, "檔案匯入SWF Zalmic前請點選核取方塊。"},
    {32013, "所有檔案皆未儲存。"},
    {32014, "執行 (*.exe)|*.exe||"},
    {32015, "SWF Zalmic Trovex無法啟動程式，請瀏覽安裝路徑並選擇現在執行檔案。 "},
    {50001, "檔案 \"%s\" 不存在,您要現在建立嗎?"},
    {50002, "建立檔案失敗: %s"},
    {57344, "SWF Zalmic Trovex"},
    {61716, "請輸入不要超過 %1 個字符。"},
    {61856, "無錯誤產生。"},
    {61857, "存取 %1 時發生未知的錯誤。"},
    {61858, "找不到 %1。"},
    {61859, "%1 包含無效的路徑。"},
    {61860, "無法開啟 %1，因為開啟的檔案太多。"},
    {61861, "存取 %1 遭受拒絕。"},
    {61862, "%1 關聯到無效的檔案控制代碼。"},
    {61863, "無法移除 %1，因為它是目前的目錄。"},
    {61864, "無法建立 %1，因為目錄已滿。"},
    {61865, "在 %1 中搜尋位置失敗。"},
    {61866, "存取 %1 時發生硬體 I/O 錯誤。"},
    {61867, "存取 %1 時發生共用違規。"},
    {61868, "存取 %1 時發生鎖定違規。"},
    {61869, "存取 %1 時磁碟已滿。"},
    {61870, "嘗試存取超過 %1 的結尾。"},
    {62104, "資料夾名稱中不能包含以下字符：\n\t \\ / :  * ? \" < > |。"},
    {62105, "無法啟動SWF Zalmic Trovex，請確定是否安裝正確。"},
    {62106, "無法啟動SWF Zalmic，請確定是否安裝正確。"},
    {62107, "您還沒有選擇要儲存的 Flash 影片。請單擊檔案前面的復選框來選中它。"},
    // The browser window's own texts.
    {63001, "無法讀取網頁 %s。"},
    {63002, "無法開啟網址 %s。"},
    {63003, "擴充功能的指令碼發生錯誤：\n%s"},
    {63004, "無法顯示這個網頁"},
    {63005, "無法載入 %s。請檢查網址與網路連線，然後按「重新整理」再試一次。"},
    {63150, "伺服器使用了無法辨識的內容編碼「%s」。"},
    {63151, "伺服器發生錯誤（HTTP %u）。"},
    {63152, "伺服器拒絕了要求（HTTP %u）。"},
    {63153, "重新導向的次數太多，可能是循環的重新導向。"},
    {63154, "無法下載「%s」（%s）：\n%s"},
    // The platform layers.
    {63200, "找不到模組檔案：%s"},
    {63201, "無法載入模組 %s：%s"},
    {63202, "模組 %s 沒有 DllGetClassObject 進入點"},
    {63203, "未登錄的 ProgID：%s"},
    {63204, "未登錄的類別：%s"},
    {63205, "類別沒有 ProgID：%s"},
    {63206, "只提供同處理序的伺服器"},
    {63207, "模組 %s 不提供類別 %s（%s）"},
    {63208, "類別工廠是空的"},
    {63209, "無法建立物件 %s（%s）"},
    {63220, "Kelvora SWF Trovex：登錄檔「%s」已損毀（%s），無法改名保存（%s）；此檔案不會被覆寫。\n"},
    {63221, "Kelvora SWF Trovex：登錄檔「%s」已損毀（%s），已改名保存為「%s」。\n"},
    {63230, "桌面"},
    {63231, "個人資料夾"},
    {63232, "電腦"},
    {63233, "檔案系統"},
    {63234, "下載"},
    {63235, "範本"},
    {63236, "公共"},
    {63237, "文件"},
    {63238, "音樂"},
    {63239, "圖片"},
    {63240, "影片"},
    // The dialog framework and the file dialogs.
    {63250, "確定"},
    {63251, "取消"},
    {63252, "是(&Y)"},
    {63253, "否(&N)"},
    {63260, "開啟"},
    {63261, "所有檔案 (*)|*"},
    {63262, "另存新檔"},
    {63263, "Flash movie (*.swf)|*.swf||"},
    // The browser window.
    {63270, "Trovex 瀏覽器"},
    {63271, "關閉(&C)\tCtrl+W"},
    {63272, "上一頁(&B)\tAlt+Left"},
    {63273, "下一頁(&F)\tAlt+Right"},
    {63274, "重新整理(&R)\tF5"},
    {63275, "（沒有已登錄的擴充功能）"},
    {63276, "檔案(&F)"},
    {63277, "檢視(&V)"},
    {63278, "工具(&T)"},
    {63279, "上一頁"},
    {63280, "下一頁"},
    {63281, "重新整理"},
    {63282, "網址(&D)"},
    {63283, "移至"},
    {63284, "上一頁(&B)"},
    {63285, "下一頁(&F)"},
    {63286, "重新整理(&R)"},
    {63300, "無法開啟 %s：%s"},
    {63301, "%s 不是含有圖示資源的模組"},
    {63302, "%s 的圖示資源已損壞"},
    {63303, "%s 沒有圖示 %s"},
    {63310, "物件已釋放，無法呼叫 %s"},
    {63311, "%s 的第 %d 個參數型別不受支援"},
    {63312, "呼叫 %s 失敗（0x%08X）"},
    {63313, "呼叫 %s 失敗（0x%08X）：%s"},
    {63314, "ActiveXObject 需要 ProgID"},
    {63315, "無法建立 Automation 物件 %s（0x%08X）"},
    {63316, "無法建立 Automation 物件 %s（0x%08X）：%s"},
    {63317, "（%s 第 %d 行）"},
    {63318, "無法啟動指令碼引擎"},
    {63319, "無法開啟指令碼網頁 %s"},
    {63320, "無法讀取指令碼網頁 %s"},
    {63321, "指令碼網頁沒有指令碼：%s"},
    // The native host.
    {63330, "擴充功能送來的要求無法辨識：%s"},
    {63331, "頁面快照無法讀取：%s"},
    {63332, "無法儲存瀏覽器的 Cookie：%s"},
    {63333, "無法開啟視窗（沒有可用的顯示器）。"},
    {63334, "無法建立 Automation 物件 SWFOrdavin.InternetExplorer（%s）。請執行「trovex-native-host --register」。"},
    {63335, "GetSWFFile 失敗（%s）%s"},
    {63336, "擴充功能送來的訊息無法讀取：%s"},
    // The preview.
    {63340, "找不到影片檔案：%s"},
    {63341, "影片不是一般檔案：%s"},
    {63342, "影片太大，無法預覽：%s"},
    {63343, "無法讀取影片檔案：%s"},
    {63344, "無法下載影片：%s\nHTTP %ld"},
    {63345, "無法下載影片：%s\n%s"},
    {63346, "無法預覽這個位址的影片：%s"},
    {63347, "預覽無法使用：找不到播放程式的檔案（ruffle.js 與 .wasm）。"},
    {63348, "預覽無法使用：這部電腦沒有可用的網頁引擎。"},
    // trovex-save.
    {63360, "略過\t%s"},
    {63361, "已儲存\t%s"},
    {63362, "'%s' 已存在。[r] 自動更名  [o] 覆寫  [s] 略過 (大寫：以後都這樣做) ? "},
    {63160, "無法下載「%s」：%s"},
    {63161, "無法下載「%s」：只能下載 http 與 https 網址。"},
    {63162, "伺服器沒有提供新的網址。"},
    {63163, "「%s」不是 http 或 https 網址。"},
    {63164, "「%s」"},
    {63165, "%s（HTTP 404）"},
  };
  return table;
}
// clang-format on

}  // namespace

std::string LoadResStringUtf8(unsigned id) {
  auto it = Table().find(id);
  return it == Table().end() ? std::string() : std::string(it->second);
}

const char* ProductVersion() { return TROVEX_VERSION; }

bool HasResString(unsigned id) { return Table().count(id) != 0; }

std::vector<unsigned> ResStringIds() {
  std::vector<unsigned> ids;
  for (const auto& [id, text] : Table()) ids.push_back(id);
  return ids;
}

std::string VFormatText(const std::string& format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  if (n < 0) return format;
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format.c_str(), args);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string FormatResStringUtf8(unsigned id, ...) {
  va_list args;
  va_start(args, id);
  std::string out = VFormatText(LoadResStringUtf8(id), args);
  va_end(args);
  return out;
}

}  // namespace trovex

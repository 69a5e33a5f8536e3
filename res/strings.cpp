#include "res/strings.h"

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <map>

#include "platform/text/text.h"

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

std::string LoadResString(unsigned id) { return Utf8TextToAnsi(LoadResStringUtf8(id)); }

bool HasResString(unsigned id) { return Table().count(id) != 0; }

std::vector<unsigned> ResStringIds() {
  std::vector<unsigned> ids;
  for (const auto& [id, text] : Table()) ids.push_back(id);
  return ids;
}

std::string FormatString1(unsigned id, const std::string& arg) {
  std::string text = LoadResString(id);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
      out += arg;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string VFormatResString(unsigned id, va_list args) {
  std::string format = LoadResString(id);
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

std::string FormatResString(unsigned id, ...) {
  va_list args;
  va_start(args, id);
  std::string out = VFormatResString(id, args);
  va_end(args);
  return out;
}

}  // namespace trovex

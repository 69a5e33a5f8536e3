#include "save_engine/format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/error/error.h"
#include "platform/fs/file.h"
#include "platform/text/text.h"
#include "res/strings.h"

namespace trovex {

namespace {

// The system's own wording, in UTF-8.
const std::map<DWORD, const char*>& MessageTable() {
  static const std::map<DWORD, const char*> table = {
      {ERROR_SUCCESS, "操作順利完成。"},
      {ERROR_INVALID_FUNCTION, "不支援這項操作。"},
      {ERROR_FILE_NOT_FOUND, "找不到指定的檔案。"},
      {ERROR_PATH_NOT_FOUND, "找不到指定的路徑。"},
      {ERROR_TOO_MANY_OPEN_FILES, "同時開啟的檔案太多。"},
      {ERROR_ACCESS_DENIED, "沒有存取權限。"},
      {ERROR_INVALID_HANDLE, "檔案代碼無效。"},
      {ERROR_NOT_ENOUGH_MEMORY, "記憶體不足，無法完成這項操作。"},
      {ERROR_INVALID_DATA, "資料無效。"},
      {ERROR_OUTOFMEMORY, "記憶體不足。"},
      {15, "找不到指定的磁碟機。"},
      {16, "無法移除目前所在的目錄。"},
      {ERROR_NOT_SAME_DEVICE, "無法把檔案移到另一個磁碟機。"},
      {18, "沒有其他檔案了。"},
      {ERROR_WRITE_PROTECT, "媒體有防寫保護，無法寫入。"},
      {21, "裝置尚未就緒。"},
      {23, "資料錯誤，讀取的資料與檢查碼不符。"},
      {25, "找不到磁碟上的指定位置。"},
      {29, "無法寫入裝置。"},
      {30, "無法從裝置讀取。"},
      {31, "裝置無法正常運作。"},
      {ERROR_SHARING_VIOLATION, "檔案正由其他程式使用中，無法存取。"},
      {ERROR_LOCK_VIOLATION, "檔案的一部分已被其他程式鎖定。"},
      {ERROR_HANDLE_EOF, "已到達檔案結尾。"},
      {ERROR_HANDLE_DISK_FULL, "磁碟已滿。"},
      {ERROR_NOT_SUPPORTED, "不支援這項要求。"},
      {53, "找不到網路路徑。"},
      {59, "發生未預期的網路錯誤。"},
      {64, "網路名稱已無法使用。"},
      {67, "找不到網路名稱。"},
      {ERROR_FILE_EXISTS, "檔案已經存在。"},
      {82, "無法建立目錄或檔案。"},
      {ERROR_INVALID_PARAMETER, "參數不正確。"},
      {ERROR_BROKEN_PIPE, "管道已經關閉。"},
      {110, "無法開啟裝置或檔案。"},
      {111, "檔案名稱太長。"},
      {ERROR_DISK_FULL, "磁碟空間不足。"},
      {ERROR_INSUFFICIENT_BUFFER, "緩衝區太小。"},
      {ERROR_INVALID_NAME, "檔案名稱或目錄名稱的格式不正確。"},
      {ERROR_DIR_NOT_EMPTY, "目錄不是空的。"},
      {161, "指定的路徑無效。"},
      {ERROR_BUSY, "要求的資源正在使用中。"},
      {ERROR_ALREADY_EXISTS, "已經有同名的檔案或資料夾，無法建立。"},
      {ERROR_FILENAME_EXCED_RANGE, "檔案名稱或路徑太長。"},
      {ERROR_MORE_DATA, "還有更多資料。"},
      {ERROR_NO_MORE_ITEMS, "沒有其他資料了。"},
      {ERROR_DIRECTORY, "目錄名稱無效。"},
      {ERROR_OPERATION_ABORTED, "操作已中止。"},
      {1009, "登錄資料庫已損毀。"},
      {ERROR_BADKEY, "登錄機碼無效。"},
      {ERROR_CANTOPEN, "無法開啟登錄機碼。"},
      {ERROR_CANTREAD, "無法讀取登錄機碼。"},
      {ERROR_CANTWRITE, "無法寫入登錄機碼。"},
      {ERROR_REGISTRY_CORRUPT, "登錄檔已損毀，無法使用。"},
      {1016, "讀寫登錄時發生錯誤。"},
      {ERROR_KEY_DELETED, "登錄機碼已被刪除，無法再變更。"},
      {ERROR_IO_DEVICE, "裝置發生輸入/輸出錯誤，無法完成要求。"},
      {ERROR_TIMEOUT, "作業逾時。"},
      {1920, "無法存取這個檔案。"},
      {1921, "連結層數太多，無法解析檔案名稱。"},
      {ERROR_INTERNET_OUT_OF_HANDLES, "無法再開啟網際網路連線。"},
      {ERROR_INTERNET_TIMEOUT, "連線逾時。"},
      {ERROR_INTERNET_EXTENDED_ERROR, "伺服器傳回了錯誤。"},
      {ERROR_INTERNET_INTERNAL_ERROR, "網際網路連線發生內部錯誤。"},
      {ERROR_INTERNET_INVALID_URL, "網址無效。"},
      {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "無法辨識網址的通訊協定。"},
      {ERROR_INTERNET_NAME_NOT_RESOLVED, "無法解析伺服器名稱或位址。"},
      {12008, "找不到所需的通訊協定。"},
      {12009, "網際網路選項不正確。"},
      {12013, "使用者名稱不正確。"},
      {12014, "密碼不正確。"},
      {12015, "登入伺服器失敗。"},
      {ERROR_INTERNET_INVALID_OPERATION, "這項操作無效。"},
      {ERROR_INTERNET_OPERATION_CANCELLED, "操作已取消。"},
      {ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "連線代碼的類型不正確。"},
      {12019, "連線代碼的狀態不正確。"},
      {12028, "找不到要求的項目。"},
      {ERROR_INTERNET_CANNOT_CONNECT, "無法連線到伺服器。"},
      {ERROR_INTERNET_CONNECTION_ABORTED, "與伺服器的連線已中斷。"},
      {ERROR_INTERNET_CONNECTION_RESET, "與伺服器的連線已被重設。"},
      {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "伺服器憑證已過期或尚未生效。"},
      {ERROR_INTERNET_SEC_CERT_CN_INVALID, "伺服器憑證上的名稱與網站不符。"},
      {12044, "伺服器要求用戶端憑證。"},
      {12045, "發出伺服器憑證的單位不受信任。"},
      {ERROR_INTERNET_SEC_CERT_ERRORS, "伺服器憑證有錯誤。"},
      {ERROR_INTERNET_SEC_CERT_NO_REV, "無法檢查伺服器憑證是否已被撤銷。"},
      {ERROR_INTERNET_SEC_CERT_REV_FAILED, "伺服器憑證的撤銷檢查失敗。"},
      {ERROR_INTERNET_SEC_INVALID_CERT, "伺服器憑證無效。"},
      {ERROR_INTERNET_SEC_CERT_REVOKED, "伺服器憑證已被撤銷。"},
      {ERROR_HTTP_HEADER_NOT_FOUND, "找不到要求的標頭。"},
      {ERROR_HTTP_INVALID_SERVER_RESPONSE, "伺服器的回應無效。"},
      {ERROR_HTTP_INVALID_QUERY_REQUEST, "HTTP 查詢要求無效。"},
      {ERROR_HTTP_REDIRECT_FAILED, "無法完成重新導向。"},
      {12157, "安全通道發生錯誤。"},
      {12175, "無法解碼伺服器傳回的內容。"},
  };
  return table;
}

}  // namespace

std::string SystemMessageText(DWORD code) {
  auto it = MessageTable().find(code);
  if (it == MessageTable().end()) return {};
  std::string text = Utf8TextToAnsi(it->second);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

void FormatSystemError(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  std::memset(buffer, 0, size);
  DWORD code = GetLastError();
  std::string text = SystemMessageText(code);
  if (!text.empty() && text.size() < size) {
    std::memcpy(buffer, text.data(), text.size());
    return;
  }
  std::snprintf(buffer, size, "(%d)", static_cast<int>(code));
}

std::string FormatGroupedNumber(double value, int nDecimals) {
  if (nDecimals < 0) nDecimals = 0;
  if (nDecimals > 20) nDecimals = 20;
  char format[16];
  std::snprintf(format, sizeof format, "%%.%df", nDecimals);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  std::string text = buffer;
  std::size_t begin = text.find_first_of("0123456789");
  if (begin == std::string::npos) return text;  // inf, nan
  std::size_t end = begin;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  for (std::size_t pos = end; pos > begin + 3;) {
    pos -= 3;
    text.insert(pos, 1, ',');
  }
  return text;
}

std::string GetFileExceptionMessage(const CFileException& e) {
  unsigned id = e.GetErrorStringId();
  if (!HasResString(id)) id = e.genericException + 61856u;
  return FormatString1(id, e.m_strFileName);
}

std::string FileSizeText(std::int64_t size) {
  if (size < 0) size = 0;
  std::int64_t kb = size / 1024 + (size % 1024 >= 512 ? 1 : 0);
  if (kb == 0 && size > 0) kb = 1;
  return FormatGroupedNumber(static_cast<double>(kb), 0) + " KB";
}

std::string FileDateText(std::time_t time) {
  struct tm local;
  if (localtime_r(&time, &local) == nullptr) return {};
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d, %H:%M:%S", &local);
  return std::string(buffer, n);
}

}  // namespace trovex

#include "res/messages.h"

#include <map>

namespace trovex {
namespace {

// clang-format off
const std::map<unsigned long, const char*>& Table() {
  static const std::map<unsigned long, const char*> table = {
    {0, "操作順利完成。"},  // ERROR_SUCCESS
    {1, "不支援這項操作。"},  // ERROR_INVALID_FUNCTION
    {2, "找不到指定的檔案。"},  // ERROR_FILE_NOT_FOUND
    {3, "找不到指定的路徑。"},  // ERROR_PATH_NOT_FOUND
    {4, "同時開啟的檔案太多。"},  // ERROR_TOO_MANY_OPEN_FILES
    {5, "沒有存取權限。"},  // ERROR_ACCESS_DENIED
    {6, "檔案代碼無效。"},  // ERROR_INVALID_HANDLE
    {8, "記憶體不足，無法完成這項操作。"},  // ERROR_NOT_ENOUGH_MEMORY
    {13, "資料無效。"},  // ERROR_INVALID_DATA
    {14, "記憶體不足。"},  // ERROR_OUTOFMEMORY
    {15, "找不到指定的磁碟機。"},
    {16, "無法移除目前所在的目錄。"},
    {17, "無法把檔案移到另一個磁碟機。"},  // ERROR_NOT_SAME_DEVICE
    {18, "沒有其他檔案了。"},
    {19, "媒體有防寫保護，無法寫入。"},  // ERROR_WRITE_PROTECT
    {21, "裝置尚未就緒。"},
    {23, "資料錯誤，讀取的資料與檢查碼不符。"},
    {25, "找不到磁碟上的指定位置。"},
    {29, "無法寫入裝置。"},
    {30, "無法從裝置讀取。"},
    {31, "裝置無法正常運作。"},
    {32, "檔案正由其他程式使用中，無法存取。"},  // ERROR_SHARING_VIOLATION
    {33, "檔案的一部分已被其他程式鎖定。"},  // ERROR_LOCK_VIOLATION
    {38, "已到達檔案結尾。"},  // ERROR_HANDLE_EOF
    {39, "磁碟已滿。"},  // ERROR_HANDLE_DISK_FULL
    {50, "不支援這項要求。"},  // ERROR_NOT_SUPPORTED
    {53, "找不到網路路徑。"},
    {59, "發生未預期的網路錯誤。"},
    {64, "網路名稱已無法使用。"},
    {67, "找不到網路名稱。"},
    {80, "檔案已經存在。"},  // ERROR_FILE_EXISTS
    {82, "無法建立目錄或檔案。"},
    {87, "參數不正確。"},  // ERROR_INVALID_PARAMETER
    {109, "管道已經關閉。"},  // ERROR_BROKEN_PIPE
    {110, "無法開啟裝置或檔案。"},
    {111, "檔案名稱太長。"},
    {112, "磁碟空間不足。"},  // ERROR_DISK_FULL
    {122, "緩衝區太小。"},  // ERROR_INSUFFICIENT_BUFFER
    {123, "檔案名稱或目錄名稱的格式不正確。"},  // ERROR_INVALID_NAME
    {145, "目錄不是空的。"},  // ERROR_DIR_NOT_EMPTY
    {161, "指定的路徑無效。"},
    {170, "要求的資源正在使用中。"},  // ERROR_BUSY
    {183, "已經有同名的檔案或資料夾，無法建立。"},  // ERROR_ALREADY_EXISTS
    {206, "檔案名稱或路徑太長。"},  // ERROR_FILENAME_EXCED_RANGE
    {222, "這不是一般檔案（管道、裝置或系統產生的檔案），不會讀取。"},  // ERROR_BAD_FILE_TYPE
    {234, "還有更多資料。"},  // ERROR_MORE_DATA
    {259, "沒有其他資料了。"},  // ERROR_NO_MORE_ITEMS
    {267, "目錄名稱無效。"},  // ERROR_DIRECTORY
    {995, "操作已中止。"},  // ERROR_OPERATION_ABORTED
    {1009, "登錄資料庫已損毀。"},
    {1010, "登錄機碼無效。"},  // ERROR_BADKEY
    {1011, "無法開啟登錄機碼。"},  // ERROR_CANTOPEN
    {1012, "無法讀取登錄機碼。"},  // ERROR_CANTREAD
    {1013, "無法寫入登錄機碼。"},  // ERROR_CANTWRITE
    {1015, "登錄檔已損毀，無法使用。"},  // ERROR_REGISTRY_CORRUPT
    {1016, "讀寫登錄時發生錯誤。"},
    {1018, "登錄機碼已被刪除，無法再變更。"},  // ERROR_KEY_DELETED
    {1117, "裝置發生輸入/輸出錯誤，無法完成要求。"},  // ERROR_IO_DEVICE
    {1460, "作業逾時。"},  // ERROR_TIMEOUT
    {1920, "無法存取這個檔案。"},
    {1921, "連結層數太多，無法解析檔案名稱。"},
    {12001, "無法再開啟網際網路連線。"},  // ERROR_INTERNET_OUT_OF_HANDLES
    {12002, "連線逾時。"},  // ERROR_INTERNET_TIMEOUT
    {12003, "伺服器傳回了錯誤。"},  // ERROR_INTERNET_EXTENDED_ERROR
    {12004, "網際網路連線發生內部錯誤。"},  // ERROR_INTERNET_INTERNAL_ERROR
    {12005, "網址無效。"},  // ERROR_INTERNET_INVALID_URL
    {12006, "無法辨識網址的通訊協定。"},  // ERROR_INTERNET_UNRECOGNIZED_SCHEME
    {12007, "無法解析伺服器名稱或位址。"},  // ERROR_INTERNET_NAME_NOT_RESOLVED
    {12008, "找不到所需的通訊協定。"},
    {12009, "網際網路選項不正確。"},
    {12013, "使用者名稱不正確。"},
    {12014, "密碼不正確。"},
    {12015, "登入伺服器失敗。"},
    {12016, "這項操作無效。"},  // ERROR_INTERNET_INVALID_OPERATION
    {12017, "操作已取消。"},  // ERROR_INTERNET_OPERATION_CANCELLED
    {12018, "連線代碼的類型不正確。"},  // ERROR_INTERNET_INCORRECT_HANDLE_TYPE
    {12019, "連線代碼的狀態不正確。"},
    {12028, "找不到要求的項目。"},
    {12029, "無法連線到伺服器。"},  // ERROR_INTERNET_CANNOT_CONNECT
    {12030, "與伺服器的連線已中斷。"},  // ERROR_INTERNET_CONNECTION_ABORTED
    {12031, "與伺服器的連線已被重設。"},  // ERROR_INTERNET_CONNECTION_RESET
    {12037, "伺服器憑證已過期或尚未生效。"},  // ERROR_INTERNET_SEC_CERT_DATE_INVALID
    {12038, "伺服器憑證上的名稱與網站不符。"},  // ERROR_INTERNET_SEC_CERT_CN_INVALID
    {12044, "伺服器要求用戶端憑證。"},
    {12045, "發出伺服器憑證的單位不受信任。"},
    {12055, "伺服器憑證有錯誤。"},  // ERROR_INTERNET_SEC_CERT_ERRORS
    {12056, "無法檢查伺服器憑證是否已被撤銷。"},  // ERROR_INTERNET_SEC_CERT_NO_REV
    {12057, "伺服器憑證的撤銷檢查失敗。"},  // ERROR_INTERNET_SEC_CERT_REV_FAILED
    {12169, "伺服器憑證無效。"},  // ERROR_INTERNET_SEC_INVALID_CERT
    {12170, "伺服器憑證已被撤銷。"},  // ERROR_INTERNET_SEC_CERT_REVOKED
    {12150, "找不到要求的標頭。"},  // ERROR_HTTP_HEADER_NOT_FOUND
    {12152, "伺服器的回應無效。"},  // ERROR_HTTP_INVALID_SERVER_RESPONSE
    {12154, "HTTP 查詢要求無效。"},  // ERROR_HTTP_INVALID_QUERY_REQUEST
    {12156, "無法完成重新導向。"},  // ERROR_HTTP_REDIRECT_FAILED
    {12157, "安全通道發生錯誤。"},
    {12175, "無法解碼伺服器傳回的內容。"},
  };
  return table;
}
// clang-format on

}  // namespace

const char* MessageTableUtf8(unsigned long code) {
  auto it = Table().find(code);
  return it == Table().end() ? nullptr : it->second;
}

std::vector<unsigned long> MessageTableCodes() {
  std::vector<unsigned long> codes;
  for (const auto& [code, text] : Table()) codes.push_back(code);
  return codes;
}

}  // namespace trovex

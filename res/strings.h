// The string table: every user-visible message of the system, looked up by its fixed id.
// Texts are kept in UTF-8 here and handed out in the locale's code page, which is what the
// application's strings hold (UTF-8 normally, Big5 under a zh_TW.BIG5 locale).
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

namespace trovex {

// The system's own strings.
constexpr unsigned IDS_NO_FLASH_ON_PAGE = 32000;     // no Flash movie on the current page
constexpr unsigned IDS_LIST_COLUMNS = 32001;         // column headings, joined by '\n'
constexpr unsigned IDS_SAVE_FAILED = 32002;          // "%s" file name, "%s" system text
constexpr unsigned IDS_STATUS_READY = 32003;
constexpr unsigned IDS_STATUS_DOWNLOADING = 32004;
constexpr unsigned IDS_STATUS_FAILED = 32005;
constexpr unsigned IDS_STATUS_DONE = 32006;
constexpr unsigned IDS_STATUS_CANCELLED = 32007;
constexpr unsigned IDS_DOWNLOAD_PROGRESS = 32009;    // "%s" done, "%s" total
constexpr unsigned IDS_BUTTON_SAVE = 32010;
constexpr unsigned IDS_BUTTON_PAUSE = 32011;
constexpr unsigned IDS_IMPORT_NOTHING_CHECKED = 32012;
constexpr unsigned IDS_IMPORT_NOTHING_SAVED = 32013;
constexpr unsigned IDS_EXE_FILTER = 32014;           // file dialog filter "...|*.exe||"
constexpr unsigned IDS_LOCATE_COMPANION = 32015;
constexpr unsigned IDS_CREATE_DIR_QUESTION = 50001;  // "%s" path
constexpr unsigned IDS_CREATE_DIR_FAILED = 50002;    // "%s" system text
constexpr unsigned IDS_APP_TITLE = 57344;            // caption of every message box
constexpr unsigned IDS_BAD_FOLDER_NAME = 62104;
constexpr unsigned IDS_CANNOT_START_ORDAVIN = 62105;
constexpr unsigned IDS_CANNOT_START_ZALMIC = 62106;
constexpr unsigned IDS_NOTHING_TO_SAVE = 62107;
// The browser window (trovex-browser).
constexpr unsigned IDS_BROWSER_CANNOT_READ_PAGE = 63001;  // "%s" address
constexpr unsigned IDS_BROWSER_CANNOT_OPEN_ADDRESS = 63002;  // "%s" what was typed
constexpr unsigned IDS_BROWSER_SCRIPT_FAILED = 63003;     // "%s" the script's error
constexpr unsigned IDS_BROWSER_ERROR_TITLE = 63004;       // heading of the error page
constexpr unsigned IDS_BROWSER_ERROR_TEXT = 63005;        // "%s" address

// Texts of our own, above the given ids.
constexpr unsigned IDS_UNKNOWN_CODING = 63150;       // "%s" the server's content coding
constexpr unsigned IDS_HTTP_SERVER_ERROR = 63151;    // "%u" the HTTP status (5xx)
constexpr unsigned IDS_HTTP_REFUSED = 63152;         // "%u" the HTTP status (other)
constexpr unsigned IDS_TOO_MANY_REDIRECTS = 63153;
constexpr unsigned IDS_DOWNLOAD_FAILED = 63154;      // "%s" file name, "%s" address, "%s" why
constexpr unsigned IDS_CANNOT_DOWNLOAD = 63160;      // "%s" address, "%s" why
constexpr unsigned IDS_NOT_WEB_ADDRESS = 63161;      // "%s" address
constexpr unsigned IDS_REDIRECT_NOWHERE = 63162;
constexpr unsigned IDS_REDIRECT_NOT_WEB = 63163;     // "%s" where the server sent us
constexpr unsigned IDS_REDIRECT_TO = 63164;          // "%s" where the server sent us
constexpr unsigned IDS_HTTP_NOT_FOUND = 63165;       // "%s" the system's text for 12028

// The framework's standard messages that the system shows ("%1" is the insert).
constexpr unsigned IDP_PARSE_STRING_SIZE = 61716;    // "%1" = the character limit
constexpr unsigned IDP_FILE_NONE = 61856;            // file errors, "%1" = the file's path
constexpr unsigned IDP_FILE_GENERIC = 61857;
constexpr unsigned IDP_FILE_NOT_FOUND = 61858;
constexpr unsigned IDP_FILE_BAD_PATH = 61859;
constexpr unsigned IDP_FILE_TOO_MANY_OPEN = 61860;
constexpr unsigned IDP_FILE_ACCESS_DENIED = 61861;
constexpr unsigned IDP_FILE_INVALID_FILE = 61862;
constexpr unsigned IDP_FILE_REMOVE_CURRENT = 61863;
constexpr unsigned IDP_FILE_DIR_FULL = 61864;
constexpr unsigned IDP_FILE_BAD_SEEK = 61865;
constexpr unsigned IDP_FILE_HARD_IO = 61866;
constexpr unsigned IDP_FILE_SHARING = 61867;
constexpr unsigned IDP_FILE_LOCKING = 61868;
constexpr unsigned IDP_FILE_DISK_FULL = 61869;
constexpr unsigned IDP_FILE_EOF = 61870;

// Text of a string resource in the locale's code page; empty when the id is unknown (as the
// Windows loader gives an empty string). Under the C/POSIX locale, whose code page cannot hold
// Chinese, the UTF-8 text is returned.
std::string LoadResString(unsigned id);
// The same text in UTF-8 regardless of the locale (for the toolkit boundary).
std::string LoadResStringUtf8(unsigned id);
// Whether the table holds the id.
bool HasResString(unsigned id);
// Every id in the table, ascending.
std::vector<unsigned> ResStringIds();

// The framework's "%1" insertion: every "%1" in the string is replaced by arg (both in the
// locale's code page). Other '%' sequences are left alone.
std::string FormatString1(unsigned id, const std::string& arg);

// printf-style formatting of a string resource (format and arguments in the locale's code
// page). Nothing is cut: the result grows to fit.
std::string FormatResString(unsigned id, ...);
std::string VFormatResString(unsigned id, va_list args);

}  // namespace trovex

// The string table: every user-visible text, looked up by its id. Texts are kept in UTF-8.
// The table stands below every other part (it includes nothing of ours), so the platform layers
// take their texts from it too; platform/text/res_text.h hands them out in the locale's code
// page, which is what the application's strings hold (UTF-8 normally, Big5 under zh_TW.BIG5).
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
constexpr unsigned IDS_UNSIZED_BODY_STOPPED = 63166; // "%s" the space kept free
constexpr unsigned IDS_NAME_UNUSABLE = 63167;        // "%s" the movie's file name

// Texts of the platform layers. COM activation ("%s" the library path, class or ProgID):
constexpr unsigned IDS_TROVEX_COM_MODULE_NOT_FOUND = 63200;
constexpr unsigned IDS_TROVEX_COM_MODULE_NOT_LOADED = 63201;   // "%s" path, "%s" the loader's words
constexpr unsigned IDS_TROVEX_COM_NO_CLASS_OBJECT_ENTRY = 63202;
constexpr unsigned IDS_TROVEX_COM_PROGID_NOT_REGISTERED = 63203;
constexpr unsigned IDS_TROVEX_COM_CLASS_NOT_REGISTERED = 63204;
constexpr unsigned IDS_TROVEX_COM_CLASS_WITHOUT_PROGID = 63205;
constexpr unsigned IDS_TROVEX_COM_INPROC_ONLY = 63206;
constexpr unsigned IDS_TROVEX_COM_CLASS_NOT_IN_MODULE = 63207; // "%s" path, "%s" class, "%s" code
constexpr unsigned IDS_TROVEX_COM_NULL_CLASS_FACTORY = 63208;
constexpr unsigned IDS_TROVEX_COM_CREATE_FAILED = 63209;       // "%s" class, "%s" code
// The registry's hive files ("%s" path, "%s" what is wrong with it, then "%s" as noted).
constexpr unsigned IDS_TROVEX_REG_DAMAGED_HIVE_KEPT = 63220;   // "%s" why it could not be renamed
constexpr unsigned IDS_TROVEX_REG_DAMAGED_HIVE_SET_ASIDE = 63221;  // "%s" the new name
// The shell namespace's own places and the XDG user folders' names.
constexpr unsigned IDS_TROVEX_SHELL_DESKTOP = 63230;
constexpr unsigned IDS_TROVEX_SHELL_HOME = 63231;
constexpr unsigned IDS_TROVEX_SHELL_COMPUTER = 63232;
constexpr unsigned IDS_TROVEX_SHELL_FILE_SYSTEM = 63233;
constexpr unsigned IDS_TROVEX_SHELL_DOWNLOADS = 63234;
constexpr unsigned IDS_TROVEX_SHELL_TEMPLATES = 63235;
constexpr unsigned IDS_TROVEX_SHELL_PUBLIC = 63236;
constexpr unsigned IDS_TROVEX_SHELL_DOCUMENTS = 63237;
constexpr unsigned IDS_TROVEX_SHELL_MUSIC = 63238;
constexpr unsigned IDS_TROVEX_SHELL_PICTURES = 63239;
constexpr unsigned IDS_TROVEX_SHELL_VIDEOS = 63240;

// The dialog framework's message-box buttons.
constexpr unsigned IDS_TROVEX_BUTTON_OK = 63250;
constexpr unsigned IDS_TROVEX_BUTTON_CANCEL = 63251;
constexpr unsigned IDS_TROVEX_BUTTON_YES = 63252;
constexpr unsigned IDS_TROVEX_BUTTON_NO = 63253;
// Titles and filters of the file dialogs.
constexpr unsigned IDS_TROVEX_OPEN_TITLE = 63260;
constexpr unsigned IDS_TROVEX_ALL_FILES_FILTER = 63261;
constexpr unsigned IDS_TROVEX_SAVE_AS_TITLE = 63262;
constexpr unsigned IDS_TROVEX_RENAME_FILTER = 63263;        // "...|*.swf||"

// The browser window: title, menus, toolbar, address bar and page menu.
constexpr unsigned IDS_TROVEX_BROWSER_TITLE = 63270;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_CLOSE = 63271;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_BACK = 63272;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_FORWARD = 63273;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_REFRESH = 63274;
constexpr unsigned IDS_TROVEX_BROWSER_NO_EXTENSIONS = 63275;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_FILE = 63276;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_VIEW = 63277;
constexpr unsigned IDS_TROVEX_BROWSER_MENU_TOOLS = 63278;
constexpr unsigned IDS_TROVEX_BROWSER_TOOL_BACK = 63279;
constexpr unsigned IDS_TROVEX_BROWSER_TOOL_FORWARD = 63280;
constexpr unsigned IDS_TROVEX_BROWSER_TOOL_REFRESH = 63281;
constexpr unsigned IDS_TROVEX_BROWSER_ADDRESS_LABEL = 63282;
constexpr unsigned IDS_TROVEX_BROWSER_GO = 63283;
constexpr unsigned IDS_TROVEX_BROWSER_PAGE_BACK = 63284;
constexpr unsigned IDS_TROVEX_BROWSER_PAGE_FORWARD = 63285;
constexpr unsigned IDS_TROVEX_BROWSER_PAGE_REFRESH = 63286;
// The browser's extension icons ("%s" the module's path).
constexpr unsigned IDS_TROVEX_ICONS_CANNOT_OPEN = 63300;       // "%s" path, "%s" system text
constexpr unsigned IDS_TROVEX_ICONS_NOT_A_MODULE = 63301;
constexpr unsigned IDS_TROVEX_ICONS_DAMAGED = 63302;
constexpr unsigned IDS_TROVEX_ICONS_NO_ICON = 63303;           // "%s" path, "%s" icon id
// The browser's script engine and script page.
constexpr unsigned IDS_TROVEX_SCRIPT_OBJECT_RELEASED = 63310;  // "%s" method
constexpr unsigned IDS_TROVEX_SCRIPT_BAD_ARGUMENT = 63311;     // "%s" method, "%d" argument
constexpr unsigned IDS_TROVEX_SCRIPT_CALL_FAILED = 63312;      // "%s" method, "%08X" HRESULT
constexpr unsigned IDS_TROVEX_SCRIPT_CALL_FAILED_WHY = 63313;  // as above, then "%s" why
constexpr unsigned IDS_TROVEX_SCRIPT_NEEDS_PROGID = 63314;
constexpr unsigned IDS_TROVEX_SCRIPT_CANNOT_CREATE = 63315;    // "%s" ProgID, "%08X" HRESULT
constexpr unsigned IDS_TROVEX_SCRIPT_CANNOT_CREATE_WHY = 63316;  // as above, then "%s" why
constexpr unsigned IDS_TROVEX_SCRIPT_ERROR_AT_LINE = 63317;    // "%s" script name, "%d" line
constexpr unsigned IDS_TROVEX_SCRIPT_ENGINE_FAILED = 63318;
constexpr unsigned IDS_TROVEX_SCRIPT_PAGE_CANNOT_OPEN = 63319;  // "%s" path
constexpr unsigned IDS_TROVEX_SCRIPT_PAGE_CANNOT_READ = 63320;  // "%s" path
constexpr unsigned IDS_TROVEX_SCRIPT_PAGE_NO_SCRIPT = 63321;    // "%s" path

// The native host's answers to the browser extension ("%s" what went wrong).
constexpr unsigned IDS_TROVEX_HOST_BAD_REQUEST = 63330;
constexpr unsigned IDS_TROVEX_HOST_BAD_SNAPSHOT = 63331;
constexpr unsigned IDS_TROVEX_HOST_COOKIES_FAILED = 63332;
constexpr unsigned IDS_TROVEX_HOST_NO_DISPLAY = 63333;
constexpr unsigned IDS_TROVEX_HOST_MODULE_UNAVAILABLE = 63334;  // "%s" HRESULT
constexpr unsigned IDS_TROVEX_HOST_GETSWFFILE_FAILED = 63335;   // "%s" HRESULT, "%s" what it met
constexpr unsigned IDS_TROVEX_HOST_BAD_MESSAGE = 63336;
// trovex-native-host on a terminal and in the browser's log.
constexpr unsigned IDS_TROVEX_HOST_USAGE = 63500;
constexpr unsigned IDS_TROVEX_HOST_ON_TERMINAL = 63501;
constexpr unsigned IDS_TROVEX_HOST_UNKNOWN_OPTION = 63502;     // "%s" option
constexpr unsigned IDS_TROVEX_HOST_NO_MODULE = 63503;
constexpr unsigned IDS_TROVEX_HOST_REGISTER_FAILED = 63504;    // "%s" module, "%s" HRESULT
constexpr unsigned IDS_TROVEX_HOST_REGISTERED = 63505;         // "%s" module
constexpr unsigned IDS_TROVEX_HOST_CANNOT_WRITE_MANIFESTS = 63506;  // "%s" why
constexpr unsigned IDS_TROVEX_HOST_WROTE = 63507;              // "%s" path
constexpr unsigned IDS_TROVEX_HOST_CANNOT_REMOVE_MANIFESTS = 63508;  // "%s" why
constexpr unsigned IDS_TROVEX_HOST_WRITE_MANIFEST_USAGE = 63509;
constexpr unsigned IDS_TROVEX_HOST_LOG_REFUSED_REQUEST = 63510;   // "%s" why
constexpr unsigned IDS_TROVEX_HOST_LOG_REFUSED_SNAPSHOT = 63511;  // "%s" why
constexpr unsigned IDS_TROVEX_HOST_LOG_REFUSED_MESSAGE = 63512;   // "%s" why
constexpr unsigned IDS_TROVEX_HOST_LOG_MODULE_UNAVAILABLE = 63513;  // "%s" HRESULT, "%s" why
constexpr unsigned IDS_TROVEX_HOST_LOG_CANNOT_ANSWER = 63514;
constexpr unsigned IDS_TROVEX_HOST_LOG_NO_STDOUT = 63515;
constexpr unsigned IDS_TROVEX_HOST_OWN_PATH_UNKNOWN = 63516;
constexpr unsigned IDS_TROVEX_HOST_LOG_LINE = 63517;           // "%s" the line
// trovex-browser and trovex-browser-window on a terminal.
constexpr unsigned IDS_TROVEX_BROWSER_USAGE = 63520;
constexpr unsigned IDS_TROVEX_BROWSER_LINE = 63521;            // "%s" the line
constexpr unsigned IDS_TROVEX_BROWSER_ONE_PAGE = 63522;
constexpr unsigned IDS_TROVEX_BROWSER_NO_PAGE = 63524;
constexpr unsigned IDS_TROVEX_BROWSER_LIST_OR_SAVE_DIALOG = 63525;
constexpr unsigned IDS_TROVEX_BROWSER_LIVE_NEEDS_LIST = 63526;
constexpr unsigned IDS_TROVEX_BROWSER_LIVE_OR_PLUGINS = 63527;
constexpr unsigned IDS_TROVEX_BROWSER_PLUGINS_NEEDS_LIST = 63528;
constexpr unsigned IDS_TROVEX_BROWSER_NO_DISPLAY = 63529;
constexpr unsigned IDS_TROVEX_BROWSER_LOAD_TOO_LONG = 63531;   // "%s" page, "%d" seconds
constexpr unsigned IDS_TROVEX_BROWSER_HTTP_STATUS = 63532;     // "%s" page, "%ld" status
constexpr unsigned IDS_TROVEX_BROWSER_CANNOT_WRITE_LIST = 63533;  // "%s" system text
constexpr unsigned IDS_TROVEX_BROWSER_NO_WINDOW_PROGRAM = 63534;  // "%s" system text
constexpr unsigned IDS_TROVEX_BROWSER_MODULE_UNAVAILABLE = 63535;  // "%s" HRESULT, "%s" why
constexpr unsigned IDS_TROVEX_BROWSER_GETSWFFILE_FAILED = 63536;   // "%s" HRESULT, "%s" why
constexpr unsigned IDS_TROVEX_BROWSER_CANNOT_READ_PAGE_LOG = 63537;  // "%s" why
constexpr unsigned IDS_TROVEX_BROWSER_CANNOT_WRITE_JAR = 63538;  // "%s" system text
constexpr unsigned IDS_TROVEX_BROWSER_NO_SCRIPT_WORLD = 63539;
constexpr unsigned IDS_TROVEX_BROWSER_PAGE_NOT_LOADED_IN = 63540;  // "%d" seconds
constexpr unsigned IDS_TROVEX_BROWSER_NO_SNAPSHOT = 63541;
constexpr unsigned IDS_TROVEX_BROWSER_SNAPSHOT_LATE = 63542;   // "%d" seconds
constexpr unsigned IDS_TROVEX_BROWSER_PAGE_NOT_LOADED = 63543;  // "%s" address
constexpr unsigned IDS_TROVEX_BROWSER_ARCHIVE_USAGE = 63544;
constexpr unsigned IDS_TROVEX_BROWSER_WARC_NEEDS_LIST = 63545;
// The page loader's notes and errors.
constexpr unsigned IDS_TROVEX_LOADER_NOT_LOCAL_FILE = 63580;  // address
constexpr unsigned IDS_TROVEX_LOADER_FILE_NOT_FOUND = 63581;  // path
constexpr unsigned IDS_TROVEX_LOADER_NOT_A_FILE = 63582;  // path
constexpr unsigned IDS_TROVEX_LOADER_FILE_TOO_LARGE = 63583;  // path
constexpr unsigned IDS_TROVEX_LOADER_CANNOT_READ_FILE = 63584;  // path, system text
constexpr unsigned IDS_TROVEX_LOADER_BUDGET_USED_UP = 63585;  // seconds, address
constexpr unsigned IDS_TROVEX_LOADER_TOO_MANY_BYTES = 63586;  // address, limit
constexpr unsigned IDS_TROVEX_LOADER_BUDGET_RAN_OUT = 63587;  // seconds, address
constexpr unsigned IDS_TROVEX_LOADER_TOOK_TOO_LONG = 63588;  // seconds, address
constexpr unsigned IDS_TROVEX_LOADER_SCHEME_NOT_LOADED = 63589;  // scheme, address
constexpr unsigned IDS_TROVEX_LOADER_NOT_VALID_ADDRESS = 63590;  // text
constexpr unsigned IDS_TROVEX_LOADER_UNSUPPORTED_SCHEME = 63591;  // scheme, text
constexpr unsigned IDS_TROVEX_LOADER_NO_ABSOLUTE_PATH = 63592;  // path, system text
constexpr unsigned IDS_TROVEX_LOADER_REDIRECT_TO_ANCESTOR = 63593;  // address
constexpr unsigned IDS_TROVEX_LOADER_HTTP_FOR = 63594;  // address, status
constexpr unsigned IDS_TROVEX_LOADER_LIMIT_NOT_LOADED = 63595;  // limit, count
constexpr unsigned IDS_TROVEX_LOADER_LIMIT_NOT_LOADED_ONE = 63596;  // limit, address
constexpr unsigned IDS_TROVEX_LOADER_MORE_FRAMES = 63597;  // limit
constexpr unsigned IDS_TROVEX_LOADER_FRAMES_TOO_DEEP = 63598;  // limit
constexpr unsigned IDS_TROVEX_LOADER_LOCAL_FROM_NETWORK = 63599;  // address
constexpr unsigned IDS_TROVEX_LOADER_FRAME_ADDRESS_NOT_LOADED = 63600;  // address
constexpr unsigned IDS_TROVEX_LOADER_FRAME_CONTAINS_ITSELF = 63601;  // address
constexpr unsigned IDS_TROVEX_LOADER_FRAME_NOT_LOADED = 63602;  // why
constexpr unsigned IDS_TROVEX_LOADER_CACHE_ENTRY_FAILED = 63603;  // address, error
constexpr unsigned IDS_TROVEX_LOADER_CACHE_SYNC_FAILED = 63604;  // error
constexpr unsigned IDS_TROVEX_LOADER_ELEMENTS_DROPPED = 63605;  // address, count
constexpr unsigned IDS_TROVEX_LOADER_NESTING_CUT = 63606;  // address, depth
constexpr unsigned IDS_TROVEX_LOADER_TAGS_CUT = 63607;  // address, count
constexpr unsigned IDS_TROVEX_LOADER_MOVIE_NOT_FETCHED = 63608;  // why
constexpr unsigned IDS_TROVEX_LOADER_DOCUMENT_BYTES_CUT = 63609;  // address, size, limit
// trovex-regsvr.
constexpr unsigned IDS_TROVEX_REGSVR_USAGE = 63560;
constexpr unsigned IDS_TROVEX_REGSVR_LINE = 63561;             // "%s" the line
constexpr unsigned IDS_TROVEX_REGSVR_ONE_MODULE = 63562;
constexpr unsigned IDS_TROVEX_REGSVR_NO_MODULE = 63563;
constexpr unsigned IDS_TROVEX_REGSVR_NOT_A_FILE = 63564;       // "%s" path
constexpr unsigned IDS_TROVEX_REGSVR_NO_ENTRY = 63565;         // "%s" path, "%s" entry point
constexpr unsigned IDS_TROVEX_REGSVR_FAILED = 63566;           // "%s" path, "%s" HRESULT
constexpr unsigned IDS_TROVEX_REGSVR_CLASS_NOT_REGISTERED = 63567;
constexpr unsigned IDS_TROVEX_REGSVR_REGISTRY_NOT_WRITTEN = 63568;
constexpr unsigned IDS_TROVEX_REGSVR_REGISTERED = 63569;       // "%s" path
constexpr unsigned IDS_TROVEX_REGSVR_UNREGISTERED = 63570;     // "%s" path
constexpr unsigned IDS_TROVEX_REGSVR_PATH_PROBLEM = 63571;     // "%s" path, "%s" system text

// The preview ("%s" the movie's path or address).
constexpr unsigned IDS_TROVEX_PREVIEW_FILE_NOT_FOUND = 63340;
constexpr unsigned IDS_TROVEX_PREVIEW_NOT_A_FILE = 63341;
constexpr unsigned IDS_TROVEX_PREVIEW_TOO_LARGE = 63342;
constexpr unsigned IDS_TROVEX_PREVIEW_CANNOT_READ = 63343;
constexpr unsigned IDS_TROVEX_PREVIEW_HTTP_FAILED = 63344;     // "%s" address, "%ld" HTTP status
constexpr unsigned IDS_TROVEX_PREVIEW_DOWNLOAD_FAILED = 63345; // "%s" address, "%s" why
constexpr unsigned IDS_TROVEX_PREVIEW_UNSUPPORTED = 63346;
constexpr unsigned IDS_TROVEX_PREVIEW_NO_PLAYER = 63347;
constexpr unsigned IDS_TROVEX_PREVIEW_NO_WEB_ENGINE = 63348;

// trovex-save on a terminal.
constexpr unsigned IDS_TROVEX_SAVE_LINE_SKIPPED = 63360;       // "%s" file or address
constexpr unsigned IDS_TROVEX_SAVE_LINE_ALREADY_SAVED = 63361; // "%s" file
constexpr unsigned IDS_TROVEX_SAVE_ASK_CONFLICT = 63362;       // "%s" the existing file
constexpr unsigned IDS_TROVEX_SAVE_USAGE = 63370;              // --help
constexpr unsigned IDS_TROVEX_SAVE_NEEDS_VALUE = 63371;        // "%s" the option
constexpr unsigned IDS_TROVEX_SAVE_DIR_NEEDS_FOLDER = 63372;
constexpr unsigned IDS_TROVEX_SAVE_BAD_CONFLICT = 63373;       // "%s" what was given
constexpr unsigned IDS_TROVEX_SAVE_UNKNOWN_OPTION = 63374;     // "%s" the option
constexpr unsigned IDS_TROVEX_SAVE_NO_PAGE = 63375;
constexpr unsigned IDS_TROVEX_SAVE_NO_FOLDER = 63376;
constexpr unsigned IDS_TROVEX_SAVE_CANNOT_LOAD = 63377;        // "%s" page, "%s" why
constexpr unsigned IDS_TROVEX_SAVE_HTTP_STATUS = 63378;        // "%ld" HTTP status
constexpr unsigned IDS_TROVEX_SAVE_INTERRUPTED = 63379;
// saved, "%s" bytes, skipped, failed, cancelled, already saved, pages loaded, pages
constexpr unsigned IDS_TROVEX_SAVE_SUMMARY = 63380;
constexpr unsigned IDS_TROVEX_SAVE_CANNOT_WRITE_REPORT = 63381;  // "%s" system text
constexpr unsigned IDS_TROVEX_SAVE_WARC_OPTIONS_ALONE = 63382;

// Web archives read as a source ("%s" the archive's path and "%s" the record's byte offset,
// or "%s" the address, then "%s" as noted).
constexpr unsigned IDS_TROVEX_WARC_CANNOT_OPEN = 63400;      // "%s" path, "%s" system text
constexpr unsigned IDS_TROVEX_WARC_NOT_WARC = 63401;         // "%s" path
constexpr unsigned IDS_TROVEX_WARC_CUT_RECORD = 63402;       // path, offset
constexpr unsigned IDS_TROVEX_WARC_BAD_RECORD_HEADER = 63403;  // path, offset
constexpr unsigned IDS_TROVEX_WARC_HEADER_TOO_LARGE = 63404;   // path, offset
constexpr unsigned IDS_TROVEX_WARC_BAD_LENGTH = 63405;       // path, offset
constexpr unsigned IDS_TROVEX_WARC_RECORD_TOO_LARGE = 63406;  // path, offset
constexpr unsigned IDS_TROVEX_WARC_BAD_COMPRESSION = 63407;  // path, offset
constexpr unsigned IDS_TROVEX_WARC_BAD_DATE = 63408;         // path, offset, "%s" the date
constexpr unsigned IDS_TROVEX_WARC_BAD_HTTP = 63409;         // address
constexpr unsigned IDS_TROVEX_WARC_BAD_BODY = 63410;         // address
constexpr unsigned IDS_TROVEX_WARC_UNKNOWN_CODING = 63411;   // address, "%s" coding
constexpr unsigned IDS_TROVEX_WARC_BODY_TOO_LARGE = 63412;   // address, "%s" limit in bytes
constexpr unsigned IDS_TROVEX_WARC_REVISIT_UNRESOLVED = 63413;  // address
constexpr unsigned IDS_TROVEX_WARC_REVISIT_LOOP = 63414;     // address
constexpr unsigned IDS_TROVEX_WARC_NOT_FOUND = 63415;        // address
constexpr unsigned IDS_TROVEX_WARC_BAD_DATE_QUERY = 63416;   // "%s" what was given

// Why a movie could not be read to its end.
constexpr unsigned IDS_TROVEX_SWF_CANNOT_READ = 63440;
constexpr unsigned IDS_TROVEX_SWF_NOT_SWF = 63441;
constexpr unsigned IDS_TROVEX_SWF_BAD_HEADER = 63442;
constexpr unsigned IDS_TROVEX_SWF_TOO_LARGE = 63443;
constexpr unsigned IDS_TROVEX_SWF_BOMB = 63444;
constexpr unsigned IDS_TROVEX_SWF_CORRUPT = 63445;
constexpr unsigned IDS_TROVEX_SWF_CUT = 63446;
constexpr unsigned IDS_TROVEX_SWF_BAD_TAG = 63447;
constexpr unsigned IDS_TROVEX_SWF_TOO_MANY_TAGS = 63448;

// The files a movie loads, saved with it, and the facts of each movie.
constexpr unsigned IDS_TROVEX_FILE_MISSING = 63460;      // status: the server has no such file
constexpr unsigned IDS_TROVEX_FILE_SKIPPED = 63461;      // status: the conflict policy skipped it
constexpr unsigned IDS_TROVEX_FILE_HTTP_STATUS = 63462;  // "%d" the HTTP status
constexpr unsigned IDS_TROVEX_FACT_COLUMNS = 63463;      // headings, one a line
constexpr unsigned IDS_TROVEX_FACT_AS12 = 63464;
constexpr unsigned IDS_TROVEX_FACT_AS3 = 63465;
constexpr unsigned IDS_TROVEX_FACT_STAGE = 63466;        // "%d" width, "%d" height
constexpr unsigned IDS_TROVEX_FACT_FRAME_RATE = 63467;   // "%s" frames a second
constexpr unsigned IDS_TROVEX_FILES_COUNT = 63468;       // "%d" saved, "%d" named
constexpr unsigned IDS_TROVEX_FILES_TITLE = 63469;       // "%s" the movie's file name
constexpr unsigned IDS_TROVEX_SAVE_LINE_FILE = 63471;    // "%s" status, "%s" file or address, "%s" why
constexpr unsigned IDS_TROVEX_FILES_COLUMNS = 63472;     // headings, one a line
constexpr unsigned IDS_TROVEX_FILES_NONE = 63473;

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

// The UTF-8 text of a string resource; empty when the id is unknown (as the Windows loader
// gives an empty string).
std::string LoadResStringUtf8(unsigned id);
// Whether the table holds the id.
bool HasResString(unsigned id);
// Every id in the table, ascending.
std::vector<unsigned> ResStringIds();

// The product's version, as the package and every program's --version give it ("0.1").
const char* ProductVersion();

// printf-style formatting of a table text in UTF-8 (arguments as the texts they join).
std::string FormatResStringUtf8(unsigned id, ...);
// printf-style formatting into a string that grows to fit: nothing is cut. A format that
// vsnprintf refuses comes back as it is.
std::string VFormatText(const std::string& format, va_list args);

// Texts the browser shares with the other programs: one id per text.
constexpr unsigned IDS_TROVEX_BROWSER_UNKNOWN_OPTION = IDS_TROVEX_HOST_UNKNOWN_OPTION;
constexpr unsigned IDS_TROVEX_BROWSER_CANNOT_LOAD = IDS_TROVEX_SAVE_CANNOT_LOAD;
constexpr unsigned IDS_TROVEX_BROWSER_WARC_OPTIONS_NEED_WARC = IDS_TROVEX_SAVE_WARC_OPTIONS_ALONE;
constexpr unsigned IDS_TROVEX_BROWSER_NEEDS_VALUE = IDS_TROVEX_SAVE_NEEDS_VALUE;

}  // namespace trovex

// URL handling with WinInet's names and results, the browser's URL cache, and the URL moniker
// parser for file: addresses. Strings are ANSI text in the thread's code page unless a
// function takes UTF-16. Failures set the thread's last error (platform/error/error.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/com.h"
#include "platform/error/error.h"

namespace trovex {

using INTERNET_PORT = WORD;

enum INTERNET_SCHEME : int {
  INTERNET_SCHEME_PARTIAL = -2,
  INTERNET_SCHEME_UNKNOWN = -1,
  INTERNET_SCHEME_DEFAULT = 0,
  INTERNET_SCHEME_FTP = 1,
  INTERNET_SCHEME_GOPHER = 2,
  INTERNET_SCHEME_HTTP = 3,
  INTERNET_SCHEME_HTTPS = 4,
  INTERNET_SCHEME_FILE = 5,
  INTERNET_SCHEME_NEWS = 6,
  INTERNET_SCHEME_MAILTO = 7,
  INTERNET_SCHEME_SOCKS = 8,
  INTERNET_SCHEME_JAVASCRIPT = 9,
  INTERNET_SCHEME_VBSCRIPT = 10,
  INTERNET_SCHEME_RES = 11,
};

constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
constexpr INTERNET_PORT INTERNET_DEFAULT_GOPHER_PORT = 70;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// Canonicalise / crack / create flags.
constexpr DWORD ICU_ESCAPE = 0x80000000u;
constexpr DWORD ICU_USERNAME = 0x40000000u;
constexpr DWORD ICU_NO_ENCODE = 0x20000000u;
constexpr DWORD ICU_DECODE = 0x10000000u;
constexpr DWORD ICU_NO_META = 0x08000000u;
constexpr DWORD ICU_ENCODE_SPACES_ONLY = 0x04000000u;
constexpr DWORD ICU_BROWSER_MODE = 0x02000000u;
constexpr DWORD ICU_ENCODE_PERCENT = 0x00001000u;

// Each component: a buffer of the caller (pointer and its size in bytes, terminator included)
// receives a copy; a null pointer with a nonzero length receives a pointer into the URL and the
// component's length; null and 0 leave the component alone. On return the length member holds
// the component's length without the terminator. dwStructSize: 60 (the 32-bit layout callers
// were written for) or sizeof(URL_COMPONENTSA).
struct URL_COMPONENTSA {
  DWORD dwStructSize;
  char* lpszScheme;
  DWORD dwSchemeLength;
  INTERNET_SCHEME nScheme;
  char* lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  char* lpszUserName;
  DWORD dwUserNameLength;
  char* lpszPassword;
  DWORD dwPasswordLength;
  char* lpszUrlPath;
  DWORD dwUrlPathLength;
  char* lpszExtraInfo;  // query and fragment, with their "?" / "#"
  DWORD dwExtraInfoLength;
};
constexpr DWORD URL_COMPONENTSA_SIZE_32 = 60;

// Cracks `url` (`length` bytes; 0 = up to its terminator). Fills the components the caller
// asked for, nScheme and nPort (the scheme's default port when the URL has none). Fails with
// ERROR_INTERNET_UNRECOGNIZED_SCHEME (no scheme), ERROR_INTERNET_INVALID_URL (bad port, bad
// authority), ERROR_INSUFFICIENT_BUFFER (a component longer than its buffer; that component's
// length member then holds the size needed, terminator included) or ERROR_INVALID_PARAMETER.
BOOL InternetCrackUrlA(const char* url, DWORD length, DWORD flags, URL_COMPONENTSA* components);

// "scheme://[user[:password]@]host[:port]path extra"; the port is left out when it is the
// scheme's default or 0. A component is taken from its pointer (its length member, or up to the
// terminator when that is 0); the scheme from nScheme when no scheme text is given. "file" with
// no host gives "file://". On success *length = characters written (no terminator). When
// `buffer` is null or *length is too small: FALSE, ERROR_INSUFFICIENT_BUFFER, *length = bytes
// needed including the terminator.
BOOL InternetCreateUrlA(const URL_COMPONENTSA* components, DWORD flags, char* buffer,
                        DWORD* length);

// Canonical form of `url`: blanks and control characters around it dropped, scheme and host
// lower-cased, "." and ".." path segments removed (never above the root; kept when
// ICU_NO_META), "\" in the path of http, https, ftp and gopher addresses made "/" (not in
// file: addresses, where it may be part of a name), an empty web path made "/". Without ICU_NO_ENCODE unsafe characters of the path (space, controls, bytes >= 0x80,
// "<", ">", "\"", "{", "}", "|", "^", "`") are %-escaped; with it, nothing is encoded and
// %-escapes and non-ASCII bytes stay as they are. ICU_DECODE decodes %-escapes first. Query and
// fragment are never dot-processed.
// Buffer protocol: *length is the buffer size in bytes. When the result plus its terminator
// does not fit: FALSE, ERROR_INSUFFICIENT_BUFFER and *length = result length + 1 (terminator
// included), so a second call with a buffer of that size succeeds. On success *length = result
// length (terminator excluded). A URL without a scheme fails with ERROR_INTERNET_INVALID_URL.
BOOL InternetCanonicalizeUrlA(const char* url, char* buffer, DWORD* length, DWORD flags);
// The same canonical form without a caller's buffer (text up to a NUL, as with a C string).
bool CanonicalizeUrl(std::string_view url, DWORD flags, std::string* result);

// The framework's URL parser: service type, server, object and port. The object is the path
// ("/" when it is empty) followed by the query; the fragment is not part of it. False when the
// address does not start with "scheme://" or cannot be cracked (bad port).
constexpr DWORD AFX_INET_SERVICE_FTP = 1;
constexpr DWORD AFX_INET_SERVICE_GOPHER = 2;
constexpr DWORD AFX_INET_SERVICE_HTTP = 3;
constexpr DWORD AFX_INET_SERVICE_UNK = 0x1000;
constexpr DWORD AFX_INET_SERVICE_FILE = 0x1001;
constexpr DWORD AFX_INET_SERVICE_MAILTO = 0x1002;
constexpr DWORD AFX_INET_SERVICE_NEWS = 0x1005;
constexpr DWORD AFX_INET_SERVICE_HTTPS = 0x100B;
BOOL AfxParseURL(const char* url, DWORD& serviceType, std::string& server, std::string& object,
                 INTERNET_PORT& port);

// ---- URL moniker parser -----------------------------------------------------------------
enum PARSEACTION : DWORD {
  PARSE_CANONICALIZE = 1,
  PARSE_PATH_FROM_URL = 9,
  PARSE_URL_FROM_PATH = 10,
  PARSE_UNESCAPE = 19,
};
constexpr HRESULT INET_E_INVALID_URL = static_cast<HRESULT>(0x800C0002u);

// PARSE_PATH_FROM_URL: S_OK only for a local file: URL ("file:///p", "file://localhost/p",
// "file:/p"), result = the path "/p" still %-escaped (query and fragment cut off); any other
// URL gives E_INVALIDARG. PARSE_UNESCAPE: decodes %XX escapes once; an escape that would give
// a NUL byte, and escaped bytes that are not valid text in the thread's code page, stay
// escaped. Doing the unescaping only in PARSE_UNESCAPE means "a%2520b" ends as "a%20b".
// Buffers: cchResult is in characters, terminator included; when too small the result is
// E_POINTER and *pcchResult = characters needed including the terminator. On success
// *pcchResult = the result length without the terminator. Null url/result: E_INVALIDARG /
// E_POINTER. Other actions: E_NOTIMPL.
// What PARSE_PATH_FROM_URL followed by PARSE_UNESCAPE give, for the usual address of plain
// ASCII without escapes, with no conversion: false when the address needs the long way; else
// *local tells whether it is a local file: address and *path holds its path.
bool PlainFilePathFromUrl(std::string_view url, bool* local, std::string* path);
HRESULT CoInternetParseUrl(const OLECHAR* url, PARSEACTION action, DWORD flags, OLECHAR* result,
                           DWORD cchResult, DWORD* pcchResult, DWORD reserved);

// ---- URL cache ------------------------------------------------------------------------
// The browser's cache lives in $XDG_CACHE_HOME (or $HOME/.cache)/kelvora-swf-trovex/urlcache:
// the files in a few subfolders, named "name[N].ext", plus an index of address -> file, size.
// Addresses are keyed by their canonical form (InternetCanonicalizeUrlA, ICU_NO_ENCODE) taken
// from the thread's code page to UTF-8, with non-ASCII bytes and the characters that may not
// stand in an address (controls, space, "\"", "<", ">", "`") %-escaped. So the raw text of a
// page in any code page and the %-escaped UTF-8 address a loader fetched find the same entry;
// escapes of other ASCII characters ("%2F", "%3F", "%25"...) stay distinct from the characters.
// A "#fragment" is no part of the key ("a.swf#x" finds "a.swf"): it is never sent to a server.
// An address that is nothing but a fragment cannot be stored (ERROR_INVALID_PARAMETER).

// The canonical form an address is keyed by (before the key's escaping): a loader that fills
// the cache fetches this form, so the bytes stored are those of the address the key names
// ("/a/%2e%2e/b.swf" is "/b.swf" to the cache, whatever a server answers for the raw text).
std::string UrlCacheCanonicalForm(const std::string& url);

// A file name proposed for a movie, from its address or as its cache file, holds at most this
// many bytes before its extension.
constexpr std::size_t kMaxFileNameBytes = 64;
// An address's path segment as text of the thread's code page: escapes decoded, UTF-8 as the
// locale's characters, Unicode format controls dropped, a byte that is no UTF-8 kept as "%XX".
std::string UrlSegmentText(std::string_view segment);
// Cuts `s` to at most `max` bytes without splitting a character.
void CutFileNameToBytes(std::string& s, std::size_t max);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;

// The caller may zero the buffer and set dwStructSize to 80 (the 32-bit size); the value is
// not checked. Strings point into the same buffer, after the structure.
struct INTERNET_CACHE_ENTRY_INFOA {
  DWORD dwStructSize;
  char* lpszSourceUrlName;
  char* lpszLocalFileName;
  DWORD CacheEntryType;
  DWORD dwUseCount;
  DWORD dwHitRate;
  DWORD dwSizeLow;
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  char* lpHeaderInfo;
  DWORD dwHeaderInfoSize;
  char* lpszFileExtension;
  union {
    DWORD dwReserved;
    DWORD dwExemptDelta;
  };
};

// Two-call protocol: with info null or *size too small: FALSE, ERROR_INSUFFICIENT_BUFFER and
// *size = bytes needed. lpszSourceUrlName is the entry's key (plain ASCII, see above). No
// entry (or its file has gone): FALSE, ERROR_FILE_NOT_FOUND. With
// info and size both null: TRUE when the entry exists. The index is re-read only when its file
// changed, so calling this once per movie of a large page stays cheap.
BOOL GetUrlCacheEntryInfoA(const char* url, INTERNET_CACHE_ENTRY_INFOA* info, DWORD* size);

// Stores `size` bytes as the cached copy of `url`, replacing an older entry of the same
// address. The file is named after the address's last path segment, unescaped, in the thread's
// code page, never a name another entry uses. Safe against concurrent writers in other
// processes (their lock is waited for at most 10 s: ERROR_LOCK_VIOLATION). On success
// *localFile (when not null) receives the full path of the new file. The oldest entries are
// evicted to keep the cache within its size limit; an entry larger than that limit, or more
// than this process may add in one run, is refused with ERROR_DISK_FULL. False (and the last
// error) on failure; the cache then holds no new entry.
bool AddUrlCacheEntry(const std::string& url, const void* data, std::size_t size,
                      std::string* localFile);

// Removes the entry and its file. FALSE, ERROR_FILE_NOT_FOUND when there is none.
BOOL DeleteUrlCacheEntryA(const char* url);

// The cache's size limits: all entries together, and what one process may add in its run.
// Setting them starts the run's count again.
constexpr std::uint64_t kDefaultUrlCacheTotalBytes = 1ull << 30;
constexpr std::uint64_t kDefaultUrlCacheRunBytes = 512ull << 20;
void SetUrlCacheLimits(std::uint64_t totalBytes, std::uint64_t runBytes);

// The cache folder for the current environment (not created).
std::string UrlCacheDirectory();

// Groups the calling thread's AddUrlCacheEntry calls while it lives: their files and the index
// are synced to disk together (one syncfs), at Commit (or destruction) and after every 4,096
// entries or 64 MiB, instead of twice per entry. The writer lock is still taken for each entry
// only, so other processes never wait for a group's downloads. Entries are visible to look-ups at once, as without a group; they are
// durable against a power cut once Commit returned true. A killed process leaves the cache
// sound at any moment: files are renamed into place whole, and an entry whose file does not
// have the stored size (cut short by a power cut before its sync) is no entry.
class UrlCacheWriteGroup {
 public:
  UrlCacheWriteGroup();
  ~UrlCacheWriteGroup();
  UrlCacheWriteGroup(const UrlCacheWriteGroup&) = delete;
  UrlCacheWriteGroup& operator=(const UrlCacheWriteGroup&) = delete;
  // Syncs what the group wrote so far. False (and the last error) when a sync failed.
  bool Commit();
};

// While one of these lives on the calling thread, GetUrlCacheEntryInfoA compares the index
// file with this process's copy only at its first call: a scan of a page of many movies pays
// one check, and a miss costs a look-up in memory. Changes other processes make meanwhile show
// in the next scope. Scopes nest.
class UrlCacheLookupScope {
 public:
  UrlCacheLookupScope();
  ~UrlCacheLookupScope();
  UrlCacheLookupScope(const UrlCacheLookupScope&) = delete;
  UrlCacheLookupScope& operator=(const UrlCacheLookupScope&) = delete;
};

// How many times this process has parsed the index file (for tests of the reload rule).
std::size_t UrlCacheIndexLoadCount();

}  // namespace trovex

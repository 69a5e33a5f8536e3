#include "scan/movie_address.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "platform/error/error.h"
#include "platform/fs/file.h"
#include "platform/fs/path.h"
#include "platform/inet/inet.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

namespace trovex {
namespace {

constexpr DWORD kPathBuffer = 260;

// Sizes are 64-bit with -1 for unknown: a size that does not fit is unknown, not a wrapped
// (possibly negative) number.
std::int64_t SizeOrUnknown(std::uint64_t size) {
  return size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? -1
             : static_cast<std::int64_t>(size);
}

std::string Canonicalize(const std::string& absolute) {
  std::string canonical;
  return CanonicalizeUrl(absolute, ICU_NO_ENCODE, &canonical) ? canonical : absolute;
}

// One CoInternetParseUrl action; a result longer than the usual path buffer gets one more try
// with the size the parser asked for, so deep local paths are not dropped.
bool ParseUrl(const std::u16string& in, PARSEACTION action, std::u16string* out) {
  DWORD capacity = kPathBuffer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::u16string buffer(capacity, u'\0');
    DWORD written = 0;
    HRESULT hr = CoInternetParseUrl(in.c_str(), action, 0, buffer.data(), capacity, &written, 0);
    if (hr == S_OK) {
      buffer.resize(std::min<DWORD>(written, capacity));
      *out = std::move(buffer);
      return true;
    }
    if (hr != E_POINTER || written <= capacity) return false;
    capacity = written;
  }
  return false;
}

bool FromCache(const std::string& address, SWFFileInfo& record, bool* cached) {
  *cached = false;
  DWORD size = 0;
  if (GetUrlCacheEntryInfoA(address.c_str(), nullptr, &size) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
    return false;
  *cached = true;
  // Aligned storage for the structure; never smaller than the structure itself.
  std::size_t bytes = std::max<std::size_t>(size, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(storage.data());
  info->dwStructSize = 80;
  DWORD given = static_cast<DWORD>(bytes);
  if (!GetUrlCacheEntryInfoA(address.c_str(), info, &given)) return false;
  record.strURL = address;
  record.strLocalFile = info->lpszLocalFileName ? info->lpszLocalFileName : "";
  record.nSize = SizeOrUnknown((static_cast<std::uint64_t>(info->dwSizeHigh) << 32) | info->dwSizeLow);
  // Named by its address, as the same movie out of the cache is: one name in every mode, and
  // the saved file of a movie is a .swf whatever extension the cache kept.
  DWORD service = 0;
  std::string server, object;
  INTERNET_PORT port = 0;
  record.strFileName = DeriveFileNameFromAddress(
      AfxParseURL(address.c_str(), service, server, object, port) ? object : address);
  return true;
}

// Size of a local file, -1 when it cannot be opened as a file. One stat answers for the usual
// movie: a regular file its owner, or everyone, may read. Only a file whose readability the mode
// bits leave open (group or ACL rights) is opened to find out, as the movie itself would be.
struct FolderCache {
  int depth = 0;
  std::string folder;  // the folder `fd` was opened on
  int fd = -1;         // O_PATH: needs no read right on the folder, only the search right stat needs
  uid_t euid = 0;      // asked once per scope: it is a system call of its own
  void Close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    folder.clear();
  }
};
thread_local FolderCache t_folders;

// stat of `path`; inside a LocalSizeScope relative to its folder, kept open between movies.
int StatPath(const std::string& path, struct stat* st) {
  FolderCache& c = t_folders;
  std::size_t slash = path.rfind('/');
  if (c.depth == 0 || slash == std::string::npos || slash == 0 || slash + 1 == path.size())
    return ::stat(path.c_str(), st);
  std::string_view folder(path.data(), slash);
  if (c.fd < 0 || folder != c.folder) {
    c.Close();
    c.fd = ::open(std::string(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (c.fd < 0) return ::stat(path.c_str(), st);
    c.folder = folder;
  }
  return ::fstatat(c.fd, path.c_str() + slash + 1, st, 0);
}

std::int64_t LocalFileSize(const std::string& path) {
  struct stat st;
  if (StatPath(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const uid_t me = t_folders.depth > 0 ? t_folders.euid : ::geteuid();
  const bool readable = st.st_uid == me ? (st.st_mode & S_IRUSR) != 0 || me == 0
                                        : ((st.st_mode & S_IROTH) && (st.st_mode & S_IRGRP)) || me == 0;
  if (readable) return SizeOrUnknown(static_cast<std::uint64_t>(st.st_size));
  CFile file;
  if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite)) return -1;
  try {
    return SizeOrUnknown(file.GetLength());
  } catch (const CFileException&) {
    return -1;
  }
}

bool FromLocalFile(const std::string& address, SWFFileInfo& record) {
  std::string ansi;
  bool local = false;
  if (PlainFilePathFromUrl(address, &local, &ansi)) {
    if (!local) return false;
  } else {
    std::u16string path;
    if (!ParseUrl(AnsiToUtf16(address), PARSE_PATH_FROM_URL, &path)) return false;
    std::u16string unescaped;
    if (ParseUrl(path, PARSE_UNESCAPE, &unescaped)) path = std::move(unescaped);
    ansi = Utf16ToAnsi(path);
  }
  record.nSize = LocalFileSize(ansi);
  record.strFileName = PathStripPath(ansi);
  record.strURL = ansi;
  record.strLocalFile = std::move(ansi);
  return true;
}

bool HasFileScheme(const std::string& address) {
  return AsciiStartsWithNoCase(address, "file:");
}

// Characters a derived name never contains: the nine that file names cannot hold, and control
// bytes, which no target path accepts either. `pos` starts a character, so a lead byte (never
// below 0x80) is allowed and its trail byte is never looked at.
bool IsNameByteAllowed(std::string_view s, std::size_t pos) {
  unsigned char c = static_cast<unsigned char>(s[pos]);
  if (c < 0x20 || c == 0x7F) return false;
  return std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string_view::npos;
}

}  // namespace

LocalSizeScope::LocalSizeScope() {
  if (t_folders.depth++ == 0) t_folders.euid = ::geteuid();
}

LocalSizeScope::~LocalSizeScope() {
  if (--t_folders.depth == 0) t_folders.Close();
}

std::string DeriveFileNameFromAddress(const std::string& objectPath) {
  std::string name = objectPath;
  std::size_t slash = MbReverseFind(name, '/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  // An escaped address is read as the cache reads it for the file it keeps: one name in every
  // mode. Raw text of the page's code page stays as it is.
  if (name.find('%') != std::string::npos &&
      std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    name = UrlSegmentText(name.substr(0, name.find_first_of("?#")));

  // The first run of allowed characters. A name without any allowed character yields no name.
  std::size_t begin = 0;
  while (begin < name.size() && !IsNameByteAllowed(name, begin)) begin = MbNextChar(name, begin);
  std::size_t end = begin;
  while (end < name.size() && IsNameByteAllowed(name, end)) end = MbNextChar(name, end);
  name = name.substr(begin, end - begin);

  std::size_t firstKept = name.find_first_not_of('.');  // '.' never is a trail byte
  name.erase(0, firstKept == std::string::npos ? name.size() : firstKept);
  if (name.empty()) return "unnamed.swf";
  std::size_t dot = MbFind(name, '.');
  if (dot != std::string::npos) name.erase(dot);
  CutFileNameToBytes(name, kMaxFileNameBytes);
  return name + ".swf";
}

namespace {

// The proposed name without Unicode format characters (bidi overrides and the like), which
// would make it show as another name; a name left with nothing before its extension is
// "unnamed".
void DropFormatControls(std::string& name) {
  // Format characters are all above U+007F: a plain ASCII name, the usual one, holds none.
  if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return;
  std::u16string wide;
  if (!TryAnsiToUtf16(name, &wide)) return;
  std::u16string kept;
  bool dropped = false;
  for (std::size_t i = 0; i < wide.size();) {
    char32_t cp;
    std::size_t units = DecodeUtf16(wide, i, &cp);
    if (IsFormatControl(cp))
      dropped = true;
    else
      kept.append(wide, i, units);
    i += units;
  }
  if (!dropped) return;
  name = Utf16ToAnsi(kept);
  if (name.empty() || name[0] == '.') name.insert(0, "unnamed");
}

bool LookUpMovieSourceRaw(const std::string& address, SWFFileInfo& record) {
  bool cached = false;
  if (FromCache(address, record, &cached)) return true;
  // A cache entry that cannot be read is not second-guessed from another source.
  if (cached) return false;
  if (FromLocalFile(address, record)) return true;

  record.strURL = address;
  DWORD service = 0;
  std::string server, object;
  INTERNET_PORT port = 0;
  if (!AfxParseURL(address.c_str(), service, server, object, port)) return false;
  if (service != AFX_INET_SERVICE_HTTP && service != AFX_INET_SERVICE_HTTPS) return false;
  record.strFileName = DeriveFileNameFromAddress(object);
  return true;
}

}  // namespace

bool LookUpMovieSource(const std::string& address, SWFFileInfo& record) {
  if (!LookUpMovieSourceRaw(address, record)) return false;
  DropFormatControls(record.strFileName);
  return true;
}

namespace {

// A relative reference that, appended to a directory's canonical form, leaves it canonical:
// ASCII path segments that neither escape, nor name a scheme, query or fragment, nor start
// with a dot (so that none is "." or ".."), and that no step of the canonicaliser changes.
bool IsPlainReference(std::string_view reference) {
  if (reference.empty() || reference[0] == '/') return false;
  char previous = '/';
  for (char c : reference) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("-._~!$&'()*+,;=@/").find(c) != std::string_view::npos;
    if (!plain || (c == '.' && previous == '/')) return false;
    previous = c;
  }
  return true;
}

// The absolute, canonical address of `reference`; "" when the page may not name it.
std::string MovieAddress(const MoviePage& page, const std::string& reference) {
  if (reference.empty()) return {};
  if (!page.canonicalDirectory.empty() && IsPlainReference(reference)) {
    std::string address;
    address.reserve(page.canonicalDirectory.size() + reference.size());
    address.append(page.canonicalDirectory).append(reference);
    return address;  // the page's own scheme: allowed as the page itself is
  }

  const std::string& siteRoot = page.siteRoot;
  std::string absolute;
  std::size_t colon = MbFind(siteRoot, ':');
  if (reference.starts_with("//") && colon != std::string::npos) {
    // Protocol-relative: the page's own scheme in front.
    absolute = siteRoot.substr(0, colon + 1) + reference;
  } else if (reference[0] == '/') {
    absolute = siteRoot + reference;
  } else {
    // "://" makes an absolute address only before the query or fragment: a relative address
    // may carry a full URL in its query ("player.swf?u=http://x").
    std::size_t marker = MbFindSubstring(reference, "://");
    std::size_t queryStart = MbFindOneOf(reference, "?#");
    if (marker != std::string::npos && (queryStart == std::string::npos || marker < queryStart))
      absolute = reference;
    else
      absolute = page.directory + reference;
  }

  std::string address = Canonicalize(absolute);
  // A page from the network may not offer the user's own files for saving; only a page that
  // is itself a local file may name local movies, as with frames.
  if (HasFileScheme(address) && !page.local) return {};
  return address;
}

}  // namespace

MoviePage::MoviePage(std::string root, std::string dir)
    : siteRoot(std::move(root)), directory(std::move(dir)), local(HasFileScheme(siteRoot)) {
  // The directory must end in a separator that closes its host: a name after an open host
  // would be read, and its case folded, as part of the host. A name with an upper-case letter
  // tells. A file: directory of a page that is not local gets no shortcut, so that the check
  // of local movies above sees every such address.
  std::string canonical, probe;
  if (directory.empty() || directory.back() != '/' ||
      !CanonicalizeUrl(directory, ICU_NO_ENCODE, &canonical) || canonical.empty() ||
      canonical.back() != '/' || (HasFileScheme(canonical) && !local) ||
      !CanonicalizeUrl(directory + "Xy.swf", ICU_NO_ENCODE, &probe) || probe != canonical + "Xy.swf")
    return;
  canonicalDirectory = std::move(canonical);
}

std::string ResolveMovieAddress(const MoviePage& page, const std::string& reference, SWFFileInfo& record) {
  std::string address = MovieAddress(page, reference);
  if (address.empty() || !LookUpMovieSource(address, record)) return {};
  return address;
}

std::string ResolveMovieAddress(const std::string& siteRoot, const std::string& documentDirectory,
                                const std::string& reference, SWFFileInfo& record) {
  return ResolveMovieAddress(MoviePage(siteRoot, documentDirectory), reference, record);
}

}  // namespace trovex

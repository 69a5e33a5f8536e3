#include "save_engine/download_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/file.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/fs.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"
#include "platform/inet/url_resolve.h"
#include "res/strings.h"
#include "save_engine/format.h"

namespace trovex {

namespace {

constexpr std::size_t kMaxErrorText = 254;
constexpr int kMaxRequests = inet::kMaxMovieRedirects + 1;
// An archived body is held whole while it is written out.
constexpr std::size_t kMaxSourceBody = std::size_t{256} << 20;
constexpr DWORD ERROR_INTERNET_ITEM_NOT_FOUND = 12028;
// Another program writing the same target gets this long to finish before we give up.
constexpr std::chrono::milliseconds kTargetLockWait{1000};

std::string Clip(std::string text) {
  if (text.size() <= kMaxErrorText) return text;
  std::size_t cut = kMaxErrorText;
  while (cut > 0 && !MbIsCharBoundary(text, cut)) --cut;
  text.resize(cut);
  return text;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsWebService(DWORD service) {
  return service == AFX_INET_SERVICE_HTTP || service == AFX_INET_SERVICE_HTTPS;
}

[[noreturn]] void ThrowTooManyRedirects() {
  // The number stays the one callers know; the text says what happened.
  AfxThrowInternetException(1, ERROR_INTERNET_ITEM_NOT_FOUND, LoadResString(IDS_TOO_MANY_REDIRECTS));
}

// The address that was asked for, as the resolver's base.
std::string AddressOf(bool secure, const std::string& server, INTERNET_PORT port,
                      const std::string& object) {
  std::string host = server.find(':') != std::string::npos ? "[" + server + "]" : server;
  std::string address = (secure ? "https://" : "http://") + host;
  if (port != (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT))
    address += ":" + std::to_string(port);
  return address + object;
}

// Points `where` at the place a redirect from it names; throws when a download cannot go there.
template <typename Where>
void FollowRedirect(Where& where, const std::string& location) {
  // An empty Location names no place (the resolver would read it as this same address).
  std::string next = CleanUrlReference(location);
  if (!next.empty()) {
    // What cannot be resolved is named as the server wrote it.
    std::string resolved =
        ResolveUrl(AddressOf(where.secure, where.strServer, where.nPort, where.strObject), next);
    if (!resolved.empty()) next = std::move(resolved);
  }
  DWORD service = 0;
  if (!AfxParseURL(next.c_str(), service, where.strServer, where.strObject, where.nPort) ||
      where.strServer.empty() || !IsWebService(service)) {
    // Says where the server wanted to send us, or that it named no place at all.
    std::string why = DownloadErrorText(ERROR_HTTP_REDIRECT_FAILED);
    if (next.empty())
      why += LoadResString(IDS_REDIRECT_NOWHERE);
    else if (!UrlScheme(next).empty() && !IsWebService(service))
      why += FormatResString(IDS_REDIRECT_NOT_WEB, next.c_str());
    else
      why += FormatResString(IDS_REDIRECT_TO, next.c_str());
    AfxThrowInternetException(1, ERROR_HTTP_REDIRECT_FAILED, why);
  }
  where.secure = service == AFX_INET_SERVICE_HTTPS;
}

// A download stops before the target's file system keeps less than this free: 1 % of it, at
// most 256 MiB, so a body never fills the user's disk. A body whose size the server did not
// announce may be endless: it keeps 10 % free, at most the session's unsized reserve, so that
// other programs on that disk go on working meanwhile.
constexpr std::uint64_t kMaxReserve = 256ull << 20;
// Free space is looked at again after this much has been written.
constexpr std::uint64_t kSpaceCheckEvery = 64 << 10;

// Whether writing `more` bytes to fd's file system keeps `reserve(size of it)` free (true
// when the file system does not say). *kept: the space kept free.
template <typename Reserve>
bool KeepsReserve(int fd, std::uint64_t more, Reserve reserveOf, std::uint64_t* kept = nullptr) {
  struct statvfs v;
  if (::fstatvfs(fd, &v) != 0 || v.f_blocks == 0) return true;
  const std::uint64_t size = static_cast<std::uint64_t>(v.f_blocks) * v.f_frsize;
  const std::uint64_t reserve = reserveOf(size);
  if (kept) *kept = reserve;
  const std::uint64_t available = static_cast<std::uint64_t>(v.f_bavail) * v.f_frsize;
  return available >= reserve && available - reserve >= more;
}

}  // namespace

std::string DownloadErrorText(DWORD code) {
  std::string text = SystemMessageText(code);
  if (text.empty()) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "(%u)", static_cast<unsigned>(code));
    text = buffer;
  }
  return Clip(text);
}

CDownloadSession::CDownloadSession(const char* agent, DWORD_PTR context, DWORD accessType,
                                   const char* proxyName, const char* proxyBypass, DWORD flags)
    : CInternetSession(agent && *agent ? agent : LoadResString(IDS_APP_TITLE).c_str(), context,
                       accessType, proxyName, proxyBypass, flags) {
  // Downloads have no overall limit (a large movie may take long; Pause is there for the
  // user), but a silent server fails as the page loader's does.
  policy().abort = &stopFlag_;
}

CDownloadSession::~CDownloadSession() {
  if (worker_.joinable()) {
    RequestStop();
    worker_.join();
  }
}

void CDownloadSession::RequestStop() {
  bStopped = 1;
  stopFlag_ = true;
}

void CDownloadSession::OnDataReceived(const void*, std::uint64_t) {}

void CDownloadSession::OnResponseReady() {}

void CDownloadSession::Fail(DWORD code, const std::string& text) {
  bFailed = 1;
  dwError = code;
  strError = Clip(text);
}

BOOL CDownloadSession::Download(const std::string& givenUrl, const std::string& localPath) {
  // A page may put tabs and line breaks inside an address (the list keeps them); as browsers
  // do, they are no part of what is fetched.
  std::string url;
  for (char c : givenUrl)
    if (c != '\t' && c != '\n' && c != '\r') url += c;
  DWORD service = 0;
  std::string server, object;
  INTERNET_PORT port = 0;
  if (!AfxParseURL(url.c_str(), service, server, object, port) || server.empty()) {
    // Named, so the user knows which address; the last system error could read as success.
    Fail(ERROR_INTERNET_INVALID_URL,
         FormatResString(IDS_CANNOT_DOWNLOAD, url.c_str(),
                         DownloadErrorText(ERROR_INTERNET_INVALID_URL).c_str()));
    return FALSE;
  }
  if (!IsWebService(service)) {
    Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, FormatResString(IDS_NOT_WEB_ADDRESS, url.c_str()));
    return FALSE;
  }
  return RunTransfer(server, port, object, localPath, service == AFX_INET_SERVICE_HTTPS);
}

BOOL CDownloadSession::RunTransfer(const std::string& server, INTERNET_PORT port,
                                   const std::string& object, const std::string& localPath,
                                   bool secure) {
  if (worker_.joinable()) worker_.join();
  bFailed = 0;
  bStopped = 0;
  stopFlag_ = false;
  strError.clear();
  dwError = 0;
  dwStatusCode = 0;
  nContentLength = 0;
  strSavedPath_.clear();
  transfer_ = Transfer{server, port, object, localPath, secure};
  try {
    worker_ = std::thread([this] { TransferThread(this); });
  } catch (const std::system_error&) {
    return FALSE;  // strError stays empty, as when no thread can be made
  }
  if (wait_) wait_->Wait();
  worker_.join();
  return !bFailed && !bStopped;
}

DWORD CDownloadSession::TransferThread(CDownloadSession* session) {
  session->RunWorker();
  if (session->wait_) session->wait_->Wake();
  return 0;
}

bool CDownloadSession::StopSeen() {
  if (!bStopped) return false;
  bFailed = 1;
  return true;
}

void CDownloadSession::RunWorker() {
  // The request and connection go on every path, here on the worker that used them.
  struct CleanUp {
    CDownloadSession& s;
    ~CleanUp() {
      s.pFile.reset();
      s.pConnection.reset();
    }
  } cleanUp{*this};
  std::string coding;  // the body's content coding, for a failure to decode it
  try {
    if (source_.source && TakeFromSource()) return;
    if (!OpenRequest(transfer_)) return;
    ReadResponseHeaders(coding);
    OnResponseReady();
    if (StopSeen()) return;
    ReceiveBody([this](char* buffer, UINT size) { return pFile->Read(buffer, size); });
    if (bFailed) return;
    if (pFile) pFile->Close();
    if (pConnection) pConnection->Close();
  } catch (const CInternetException& e) {
    FailOnException(e, coding);
  }
}

bool CDownloadSession::OpenRequest(Transfer where) {
  for (int attempt = 0; attempt < kMaxRequests; ++attempt) {
    pConnection = GetHttpConnection(where.strServer, where.secure ? INTERNET_FLAG_SECURE : 0, where.nPort);
    if (StopSeen()) return false;
    pFile = pConnection->OpenRequest("GET", where.strObject, nullptr, 1, nullptr, nullptr,
                                     INTERNET_FLAG_EXISTING_CONNECT);
    if (StopSeen()) return false;
    pFile->SendRequest();
    if (StopSeen()) return false;
    DWORD status = 0;
    pFile->QueryInfoStatusCode(status);
    dwStatusCode = status;
    if (StopSeen()) return false;
    if (!IsRedirect(status)) return true;
    std::string location;
    pFile->QueryInfo(HTTP_QUERY_LOCATION, location);
    pFile->Close();
    pFile.reset();
    pConnection->Close();
    pConnection.reset();
    FollowRedirect(where, location);
  }
  // A fifth redirect in a row, after which no request is open.
  ThrowTooManyRedirects();
}

bool CDownloadSession::TakeFromSource() {
  Transfer& where = transfer_;
  for (int attempt = 0; attempt < kMaxRequests; ++attempt) {
    inet::SourceAnswer answer = source_.source->Get(
        AddressOf(where.secure, where.strServer, where.nPort, where.strObject), {.maxBodyBytes = kMaxSourceBody});
    if (StopSeen()) return true;
    if (!answer.ok()) {
      if (answer.error == inet::kSourceItemNotFound && source_.networkFallback) return false;
      Fail(answer.error, answer.reason.empty() ? DownloadErrorText(answer.error) : answer.reason);
      return true;
    }
    dwStatusCode = static_cast<DWORD>(answer.status);
    if (IsRedirect(dwStatusCode)) {
      FollowRedirect(where, answer.redirect);
      continue;
    }
    ThrowUnlessOk();
    nContentLength = static_cast<std::int64_t>(answer.body.size());
    OnResponseReady();
    if (StopSeen()) return true;
    std::size_t at = 0;
    ReceiveBody([&answer, &at](char* buffer, UINT size) {
      const UINT n = static_cast<UINT>(std::min<std::size_t>(size, answer.body.size() - at));
      std::copy_n(answer.body.data() + at, n, buffer);
      at += n;
      return n;
    });
    return true;
  }
  ThrowTooManyRedirects();
}

void CDownloadSession::ThrowUnlessOk() const {
  if (dwStatusCode == HTTP_STATUS_OK) return;
  const unsigned status = static_cast<unsigned>(dwStatusCode);
  std::string why =
      status == 404   ? FormatResString(IDS_HTTP_NOT_FOUND, DownloadErrorText(ERROR_INTERNET_ITEM_NOT_FOUND).c_str())
      : status >= 500 ? FormatResString(IDS_HTTP_SERVER_ERROR, status)
                      : FormatResString(IDS_HTTP_REFUSED, status);
  AfxThrowInternetException(1, ERROR_INTERNET_ITEM_NOT_FOUND, why);
}

void CDownloadSession::ReadResponseHeaders(std::string& coding) {
  ThrowUnlessOk();
  std::string length;
  pFile->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, length);
  std::int64_t announced = 0;
  std::size_t i = 0;
  bool tooLarge = false;
  while (i < length.size() && length[i] >= '0' && length[i] <= '9' && !tooLarge) {
    const int digit = length[i++] - '0';
    tooLarge = announced > (INT64_MAX - digit) / 10;
    if (!tooLarge) announced = announced * 10 + digit;
  }
  // Beyond 64 bits the size counts as not known rather than wrapping to a wrong one.
  nContentLength = tooLarge ? 0 : announced;
  // A coded body arrives decoded, while its length counts the coded bytes: the size of what
  // we write is then not known beforehand.
  if (pFile->QueryInfo(HTTP_QUERY_CONTENT_ENCODING, coding) && !coding.empty() &&
      MbCompareNoCase(coding, "identity") != 0)
    nContentLength = 0;
}

void CDownloadSession::ReceiveBody(const BodyRead& read) {
  if (transfer_.strLocalPath.empty())
    CountBody(read);
  else
    WriteBodyLocked(transfer_.strLocalPath, read);
}

void CDownloadSession::CountBody(const BodyRead& read) {
  char buffer[1024];
  std::uint64_t total = 0;
  while (!StopSeen()) {
    UINT n = read(buffer, sizeof buffer);
    if (n == 0) break;
    total += n;
    OnDataReceived(buffer, total);
  }
  if (!bFailed && nContentLength > 0 && total < static_cast<std::uint64_t>(nContentLength.load()))
    AfxThrowInternetException(1, ERROR_INTERNET_CONNECTION_ABORTED, "short body");
}

void CDownloadSession::WriteBodyLocked(const std::string& target, const BodyRead& read) {
  // Another writer of the same target (a CFile opened exclusive) is waited for briefly.
  posix::Fd current(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  struct stat st;
  if (current.get() >= 0 && ::fstat(current.get(), &st) == 0 && S_ISREG(st.st_mode)) {
    int err = posix::FileLock::LockDescriptor(current.get(), true, kTargetLockWait);
    if (err == EWOULDBLOCK) {
      CFileException e(CFileException::sharingViolation, ERROR_SHARING_VIOLATION, target);
      Fail(ERROR_SHARING_VIOLATION, GetFileExceptionMessage(e));
      return;
    }
  }
  posix::AtomicFile file;
  if (int err = file.Open(target, 0666, posix::AtomicFile::Temporary::kUnnamed))
    return FailOnFile(err, target);
  // An announced body that would not fit fails before it is fetched.
  auto sizedReserve = [](std::uint64_t size) { return std::min(size / 100, kMaxReserve); };
  auto unsizedReserve = [this](std::uint64_t size) { return std::min(size / 10, unsizedReserve_); };
  if (!KeepsReserve(file.fd(), static_cast<std::uint64_t>(nContentLength.load()), sizedReserve))
    return FailOnFile(ENOSPC, target);
  char buffer[1024];
  std::uint64_t total = 0;
  std::uint64_t nextSpaceCheck = kSpaceCheckEvery;
  while (!StopSeen()) {
    UINT n = read(buffer, sizeof buffer);
    if (n == 0) break;
    if (total + n >= nextSpaceCheck) {
      const bool sized = nContentLength.load() > 0;
      std::uint64_t kept = 0;
      if (sized ? !KeepsReserve(file.fd(), kSpaceCheckEvery, sizedReserve)
                : !KeepsReserve(file.fd(), kSpaceCheckEvery, unsizedReserve, &kept)) {
        if (sized) return FailOnFile(ENOSPC, target);
        return Fail(ERROR_DISK_FULL, FormatResString(IDS_UNSIZED_BODY_STOPPED, FileSizeText(static_cast<std::int64_t>(kept)).c_str()));
      }
      nextSpaceCheck = total + n + kSpaceCheckEvery;
    }
    if (int err = file.Write(buffer, n)) return FailOnFile(err, target);
    total += n;
    OnDataReceived(buffer, total);
  }
  if (bFailed) return;  // stopped: the temporary goes, the target stays as it was
  if (nContentLength > 0 && total < static_cast<std::uint64_t>(nContentLength.load()))
    AfxThrowInternetException(1, ERROR_INTERNET_CONNECTION_ABORTED, "short body");
  if (bStopped) {
    bFailed = 1;
    return;
  }
  const int err = claimNext_ ? file.CommitClaiming(claimNext_) : file.Commit();
  if (err) return FailOnFile(err, file.target());
  strSavedPath_ = file.target();
}

void CDownloadSession::FailOnFile(int err, const std::string& target) {
  DWORD code = Win32ErrorForPath(err == EISDIR ? EACCES : err, target.c_str());
  // A name too long says so; the framework's text alone reads as a bad path.
  const std::string reason = err == ENAMETOOLONG ? SystemMessageText(code) : std::string();
  auto message = [&](const std::string& shown) {
    CFileException e(CFileException::OsErrorToException(static_cast<LONG>(code)),
                     static_cast<LONG>(code), shown);
    return GetFileExceptionMessage(e) + reason;
  };
  std::string text = message(target);
  // Too long for the error text: the path loses its middle, not the end of the text.
  if (text.size() > kMaxErrorText) {
    const std::string ellipsis = Utf8TextToAnsi("\xE2\x80\xA6");
    const std::size_t room = kMaxErrorText - (text.size() - target.size()) - ellipsis.size();
    std::size_t head = room / 3, tail = target.size() - (room - head);
    while (head > 0 && !MbIsCharBoundary(target, head)) --head;
    while (tail < target.size() && !MbIsCharBoundary(target, tail)) ++tail;
    text = message(target.substr(0, head) + ellipsis + target.substr(tail));
  }
  Fail(code, text);
}

void CDownloadSession::FailOnException(const CInternetException& e, const std::string& coding) {
  // A stop that cut a wait short is a stop, not a failure with a text.
  if (e.m_dwError == ERROR_INTERNET_OPERATION_CANCELLED && bStopped) {
    bFailed = 1;
  } else if ((e.m_dwError == ERROR_HTTP_REDIRECT_FAILED || e.m_dwError == ERROR_INTERNET_ITEM_NOT_FOUND) &&
             !e.m_strDetail.empty()) {
    Fail(e.m_dwError, e.m_strDetail);
  } else if (e.m_dwError == ERROR_INTERNET_DECODING_FAILED && !coding.empty()) {
    Fail(e.m_dwError, DownloadErrorText(e.m_dwError) + FormatResString(IDS_UNKNOWN_CODING, coding.c_str()));
  } else {
    Fail(e.m_dwError, DownloadErrorText(e.m_dwError));
  }
}

void CSWFDownloadSession::OnDataReceived(const void*, std::uint64_t total) {
  if (pOwner) pOwner->OnTransferStatus({GetContentLength(), 0, static_cast<std::int64_t>(total)});
}

void CSWFDownloadSession::OnResponseReady() {
  if (pOwner) pOwner->OnTransferStatus({GetContentLength(), 0, 0});
}

}  // namespace trovex

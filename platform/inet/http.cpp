#include "platform/inet/http.h"

#include <string>
#include <utility>

#include "platform/error/error.h"

namespace trovex {

CInternetException::CInternetException(DWORD dwError, DWORD_PTR dwContext, std::string detail)
    : m_dwError(dwError), m_dwContext(dwContext), m_strDetail(std::move(detail)) {
  what_ = "internet error " + std::to_string(dwError);
  if (!m_strDetail.empty()) what_ += ": " + m_strDetail;
}

void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError, std::string detail) {
  throw CInternetException(dwError, dwContext, std::move(detail));
}

CInternetSession::CInternetSession(const char* agent, DWORD_PTR context, DWORD /*accessType*/,
                                   const char* /*proxyName*/, const char* /*proxyBypass*/,
                                   DWORD /*flags*/)
    : context_(context) {
  if (agent && *agent) policy_.userAgent = agent;
}

CInternetSession::~CInternetSession() = default;

void CInternetSession::OnStatusCallback(DWORD_PTR, DWORD, void*, DWORD) {}

std::unique_ptr<CHttpConnection> CInternetSession::GetHttpConnection(const std::string& server,
                                                                     DWORD dwFlags,
                                                                     INTERNET_PORT port,
                                                                     const char*, const char*) {
  if (server.empty()) AfxThrowInternetException(context_, ERROR_INTERNET_INVALID_URL, "no server");
  bool secure = (dwFlags & INTERNET_FLAG_SECURE) != 0;
  if (port == 0) port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  return std::make_unique<CHttpConnection>(*this, server, port, secure);
}

CHttpConnection::CHttpConnection(CInternetSession& session, std::string server,
                                 INTERNET_PORT port, bool secure)
    : session_(session), server_(std::move(server)), port_(port), secure_(secure) {}

std::unique_ptr<CHttpFile> CHttpConnection::OpenRequest(const char* verb, const std::string& object,
                                                        const char*, DWORD_PTR context,
                                                        const char**, const char*, DWORD dwFlags) {
  if (verb && std::string(verb) != "GET")
    AfxThrowInternetException(context, ERROR_INTERNET_INVALID_OPERATION, "only GET is offered");
  bool secure = secure_ || (dwFlags & INTERNET_FLAG_SECURE) != 0;
  std::string host = server_;
  // An IPv6 literal needs its brackets back in an address.
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  std::string url = (secure ? "https://" : "http://") + host;
  INTERNET_PORT defaultPort = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  if (port_ != defaultPort) url += ":" + std::to_string(port_);
  url += object.empty() || object[0] != '/' ? "/" + object : object;
  return std::make_unique<CHttpFile>(session_, std::move(url), context);
}

CHttpFile::CHttpFile(CInternetSession& session, std::string url, DWORD_PTR context)
    : session_(session), url_(std::move(url)), context_(context) {}

CHttpFile::~CHttpFile() = default;

void CHttpFile::SendRequest() {
  transfer_ = std::make_unique<inet::HttpTransfer>(session_.policy());
  DWORD err = transfer_->Start(url_);
  if (err == 0) err = transfer_->WaitForHeaders();
  if (err != 0) AfxThrowInternetException(context_, err, transfer_->errorDetail());
  sent_ = true;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const {
  if (!sent_) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return FALSE;
  }
  dwStatusCode = static_cast<DWORD>(transfer_->status());
  return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, std::string& value) const {
  value.clear();
  if (!sent_) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return FALSE;
  }
  const char* name = nullptr;
  switch (dwInfoLevel) {
    case HTTP_QUERY_CONTENT_LENGTH: name = "Content-Length"; break;
    case HTTP_QUERY_LOCATION: name = "Location"; break;
    case HTTP_QUERY_CONTENT_ENCODING: name = "Content-Encoding"; break;
    case HTTP_QUERY_STATUS_CODE: value = std::to_string(transfer_->status()); return TRUE;
    default:
      SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
      return FALSE;
  }
  std::optional<std::string> header = transfer_->Header(name);
  if (!header) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return FALSE;
  }
  value = *header;
  return TRUE;
}

UINT CHttpFile::Read(void* buffer, UINT nCount) {
  if (!sent_) AfxThrowInternetException(context_, ERROR_INTERNET_INCORRECT_HANDLE_TYPE, url_);
  long n = transfer_->Read(buffer, nCount);
  if (n < 0) AfxThrowInternetException(context_, transfer_->error(), transfer_->errorDetail());
  return static_cast<UINT>(n);
}

void CHttpFile::Close() {
  transfer_.reset();
  sent_ = false;
}

}  // namespace trovex

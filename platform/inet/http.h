// The framework's internet classes for HTTP, on the shared transport: a session, a connection
// to one server, and a request whose response is read in pieces. Failures raise
// CInternetException with WinInet's error numbers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "platform/base/types.h"
#include "platform/inet/http_transport.h"
#include "platform/inet/inet.h"

namespace trovex {

using DWORD_PTR = std::uintptr_t;

// The session's access types and flags of the framework that callers pass.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_FLAG_EXISTING_CONNECT = 0x20000000u;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000u;

// QueryInfo levels.
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_CONTENT_ENCODING = 29;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_LOCATION = 33;

constexpr DWORD HTTP_STATUS_OK = 200;

class CInternetException : public std::exception {
 public:
  explicit CInternetException(DWORD dwError, DWORD_PTR dwContext = 1, std::string detail = {});
  const char* what() const noexcept override { return what_.c_str(); }

  DWORD m_dwError;
  DWORD_PTR m_dwContext;
  // The transport's own words (English) with the address, for logs; users see the text the
  // saving engine keeps for m_dwError.
  std::string m_strDetail;

 private:
  std::string what_;
};

[[noreturn]] void AfxThrowInternetException(DWORD_PTR dwContext, DWORD dwError,
                                            std::string detail = {});

class CInternetSession;

class CHttpFile {
 public:
  CHttpFile(CInternetSession& session, std::string url, DWORD_PTR context);
  ~CHttpFile();
  CHttpFile(const CHttpFile&) = delete;
  CHttpFile& operator=(const CHttpFile&) = delete;

  // Sends the request and waits (abortably, within the session's time limits) for the
  // response's headers.
  void SendRequest();
  BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;
  // A header as text; FALSE (ERROR_HTTP_HEADER_NOT_FOUND) when the response has none.
  BOOL QueryInfo(DWORD dwInfoLevel, std::string& value) const;
  // Up to nCount bytes of the body, as they arrive; 0 at its end.
  UINT Read(void* buffer, UINT nCount);
  void Close();
  const std::string& GetFileURL() const { return url_; }

 private:
  CInternetSession& session_;
  std::string url_;
  DWORD_PTR context_;
  std::unique_ptr<inet::HttpTransfer> transfer_;
  bool sent_ = false;
};

class CHttpConnection {
 public:
  CHttpConnection(CInternetSession& session, std::string server, INTERNET_PORT port, bool secure);
  ~CHttpConnection() = default;
  CHttpConnection(const CHttpConnection&) = delete;
  CHttpConnection& operator=(const CHttpConnection&) = delete;

  // Only GET is offered. INTERNET_FLAG_SECURE in dwFlags asks for https on this request too.
  std::unique_ptr<CHttpFile> OpenRequest(const char* verb, const std::string& object,
                                         const char* referer = nullptr, DWORD_PTR context = 1,
                                         const char** acceptTypes = nullptr,
                                         const char* version = nullptr, DWORD dwFlags = 0);
  void Close() {}

 private:
  CInternetSession& session_;
  std::string server_;
  INTERNET_PORT port_;
  bool secure_;
};

class CInternetSession {
 public:
  // agent: the User-Agent (null: the caller's default below); accessType: only the
  // pre-configured proxy settings are offered.
  CInternetSession(const char* agent = nullptr, DWORD_PTR context = 1,
                   DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG, const char* proxyName = nullptr,
                   const char* proxyBypass = nullptr, DWORD flags = 0);
  virtual ~CInternetSession();
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;

  virtual void Close() {}
  virtual void OnStatusCallback(DWORD_PTR dwContext, DWORD dwInternetStatus,
                                void* lpvStatusInformation, DWORD dwStatusInformationLength);

  // dwFlags: INTERNET_FLAG_SECURE for https. A port of 0 takes the scheme's default.
  std::unique_ptr<CHttpConnection> GetHttpConnection(const std::string& server, DWORD dwFlags,
                                                     INTERNET_PORT port = 0,
                                                     const char* user = nullptr,
                                                     const char* password = nullptr);
  std::unique_ptr<CHttpConnection> GetHttpConnection(const std::string& server,
                                                     INTERNET_PORT port = 0,
                                                     const char* user = nullptr,
                                                     const char* password = nullptr) {
    return GetHttpConnection(server, 0, port, user, password);
  }

  DWORD_PTR GetContext() const { return context_; }
  // Time limits and the stop flag every request of this session obeys.
  inet::TransferPolicy& policy() { return policy_; }
  const inet::TransferPolicy& policy() const { return policy_; }

 private:
  DWORD_PTR context_;
  inet::TransferPolicy policy_;
};

}  // namespace trovex

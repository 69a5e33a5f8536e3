// The download session: fetches one movie over http or https on a worker thread of its own
// while the calling thread keeps waiting in a way of its choosing (a dialog keeps dispatching
// its events), follows redirects, writes the body to the target file and reports the announced
// size and the running byte count through two hooks that run on the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/base/types.h"
#include "platform/inet/http.h"
#include "platform/inet/page_source.h"

namespace trovex {

// Where a transfer stands: the announced size of the body (0: not known), the offset it began
// at, and the offset reached so far.
struct TransferStatus {
  std::int64_t total = 0;
  std::int64_t start = 0;
  std::int64_t current = 0;
  bool operator==(const TransferStatus&) const = default;
};

// Where downloads come from: the network (no source), or a source such as a web archive,
// with the network asked for what the source lacks when networkFallback is set.
struct DownloadSource {
  inet::PageSource* source = nullptr;  // not owned
  bool networkFallback = false;
};

// How the calling thread spends a transfer. Wait returns once Wake has been called (Wake may
// come first, from any thread). Without one the session simply blocks until the worker ends.
class TransferWait {
 public:
  virtual ~TransferWait() = default;
  virtual void Wait() = 0;
  virtual void Wake() = 0;
};

// The most a body without a length keeps free on its file system, unless set otherwise.
inline constexpr std::uint64_t kDefaultUnsizedReserve = 2ull << 30;

class CDownloadSession : public CInternetSession {
 public:
  // agent null: the application title (string 57344).
  explicit CDownloadSession(const char* agent = nullptr, DWORD_PTR context = 1,
                            DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                            const char* proxyName = nullptr, const char* proxyBypass = nullptr,
                            DWORD flags = 0);
  // Stops and joins a worker that is still running, so it never outlives the session.
  ~CDownloadSession() override;

  // True when the whole body arrived (and, with a local path, is in that file) without error
  // and without a stop. The body is written beside the target and renamed over it only when
  // complete: a failed or stopped download leaves an existing target as it was.
  BOOL Download(const std::string& url, const std::string& localPath);
  // The same for an address already split; secure for https.
  BOOL RunTransfer(const std::string& server, INTERNET_PORT port, const std::string& object,
                   const std::string& localPath, bool secure = false);
  // Any thread.
  void RequestStop();
  BOOL IsStopped() const { return bStopped.load(); }

  // The outcome of the last transfer, read once Download has returned.
  std::string GetErrorText() const { return strError; }
  // The number of the failure behind the text (WinInet 12xxx, Win32 for files); 0 when none.
  DWORD GetErrorCode() const { return dwError; }
  // Failed or stopped.
  BOOL IsFailed() const { return bFailed; }
  // The HTTP status of the last response.
  DWORD GetStatusCode() const { return dwStatusCode; }
  // The announced size of the body (0: not known); set before OnResponseReady.
  std::int64_t GetContentLength() const { return nContentLength.load(); }

  // The worker's entry point; returns 0.
  static DWORD TransferThread(CDownloadSession* session);

  // Hooks, called on the worker thread.
  virtual void OnDataReceived(const void* data, std::uint64_t total);
  virtual void OnResponseReady();

  // The calling thread's wait (not owned; null: block).
  void SetTransferWait(TransferWait* wait) { wait_ = wait; }
  void SetSource(DownloadSource source) { source_ = source; }

  // Set: the target is never replaced; when its name is taken by the time the body is
  // complete, `next` names the next one to try (empty: fail as the file exists).
  void SetNameClaim(std::function<std::string(const std::string& taken)> next) {
    claimNext_ = std::move(next);
  }
  // A body of no announced length stops while its file system keeps 10 % of it free, but at
  // most `bytes` (kDefaultUnsizedReserve unless set).
  void SetUnsizedReserve(std::uint64_t bytes) { unsizedReserve_ = bytes; }
  // Where the last successful download went (the target, or the name claimed instead).
  const std::string& GetSavedPath() const { return strSavedPath_; }

 private:
  // What one transfer fetches and where it goes; the worker's own.
  struct Transfer {
    std::string strServer;
    INTERNET_PORT nPort = 0;
    std::string strObject;
    std::string strLocalPath;
    bool secure = false;
  };

  // Up to `size` bytes of the body into `buffer`; 0 at its end. Throws on failures.
  using BodyRead = std::function<UINT(char* buffer, UINT size)>;

  void Fail(DWORD code, const std::string& text);
  // True (and the transfer failed) once a stop was asked for.
  bool StopSeen();
  void RunWorker();
  // The request, following up to four redirects; false when stopped. Throws on failures.
  bool OpenRequest(Transfer where);
  // The whole transfer from source_, redirects followed as OpenRequest follows them; false
  // (transfer_ then names the address reached) when the network is to be asked instead.
  bool TakeFromSource();
  // Throws unless dwStatusCode says a body follows.
  void ThrowUnlessOk() const;
  // The status and the size headers of the opened response. Throws when it is no body.
  void ReadResponseHeaders(std::string& coding);
  // The body, to the target or (no local path) counted and dropped.
  void ReceiveBody(const BodyRead& read);
  // The body, counted and dropped.
  void CountBody(const BodyRead& read);
  // The body into the target, beside it until complete, with the target's lock held.
  void WriteBodyLocked(const std::string& target, const BodyRead& read);
  // The file error `err` on `target`, as the user reads it.
  void FailOnFile(int err, const std::string& target);
  void FailOnException(const CInternetException& e, const std::string& coding);

  Transfer transfer_;
  std::unique_ptr<CHttpConnection> pConnection;
  std::unique_ptr<CHttpFile> pFile;
  DWORD dwStatusCode = 0;
  std::string strError;
  BOOL bFailed = 0;
  std::atomic<BOOL> bStopped{0};
  std::atomic<std::int64_t> nContentLength{0};
  DWORD dwError = 0;
  std::atomic<bool> stopFlag_{false};  // the transport's view of bStopped
  TransferWait* wait_ = nullptr;
  DownloadSource source_;
  std::function<std::string(const std::string&)> claimNext_;
  std::string strSavedPath_;
  std::uint64_t unsizedReserve_ = kDefaultUnsizedReserve;
  std::thread worker_;
};

// What the owner of a download hears of it, on the session's worker thread: {total, 0, 0}
// once the response has arrived, then {total, 0, current} after every block received.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  virtual void OnTransferStatus(const TransferStatus& status) = 0;
};

class CSWFDownloadSession : public CDownloadSession {
 public:
  using CDownloadSession::CDownloadSession;
  void OnDataReceived(const void* data, std::uint64_t total) override;
  void OnResponseReady() override;

  DownloadObserver* pOwner = nullptr;
};

// The text a failed download shows for an error number: the system's own words, at most 254
// characters.
std::string DownloadErrorText(DWORD code);

}  // namespace trovex

#include "preview/movie_source.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <strings.h>

#include "platform/fs/atomic_file.h"
#include "platform/inet/http_transport.h"
#include "res/strings.h"
#include "platform/text/ascii.h"
#include "save_engine/format.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"

namespace trovex {
namespace {

std::string Utf8(const std::string& ansi) { return AnsiToUtf8(ansi); }

MovieBytes Failed(std::string text) {
  MovieBytes m;
  m.strError = std::move(text);
  return m;
}

// A failure told by a table text with the movie's path or address (UTF-8).
MovieBytes Failed(unsigned id, const std::string& where) {
  return Failed(FormatResStringUtf8(id, where.c_str()));
}

MovieBytes ReadLocal(const std::string& path) {
  MovieBytes m;
  // Regular files only, opened without blocking: a FIFO must not stall the preview.
  switch (posix::ReadRegularFile(path, MaxPreviewBytes(), &m.strBody, nullptr)) {
    case 0:
      m.bLoaded = true;
      return m;
    case ENOENT:
    case ENOTDIR:
      return Failed(IDS_TROVEX_PREVIEW_FILE_NOT_FOUND, Utf8(path));
    case EISDIR:
    case EINVAL:
    case EPERM:
      return Failed(IDS_TROVEX_PREVIEW_NOT_A_FILE, Utf8(path));
    case EFBIG:
      return Failed(IDS_TROVEX_PREVIEW_TOO_LARGE, Utf8(path));
    default:
      return Failed(IDS_TROVEX_PREVIEW_CANNOT_READ, Utf8(path));
  }
}

// The page loader's time limits: 15 s to connect, 30 s without progress, 5 minutes in all.
MovieBytes Fetch(const std::string& url, const std::atomic<bool>* abort) {
  inet::TransferPolicy policy;
  policy.connectTimeoutSeconds = 15;
  policy.stallSeconds = 30;
  policy.stallBytesPerSecond = 1;
  policy.deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  policy.maxRedirects = inet::kMaxMovieRedirects;
  policy.abort = abort;
  inet::HttpTransfer transfer(policy);
  DWORD err = transfer.Start(url);
  if (err == 0) err = transfer.WaitForHeaders();
  if (err == 0 && (transfer.status() < 200 || transfer.status() >= 300)) {
    return Failed(FormatResStringUtf8(IDS_TROVEX_PREVIEW_HTTP_FAILED, Utf8(url).c_str(), transfer.status()));
  }
  MovieBytes m;
  char buffer[16384];
  while (err == 0) {
    const long n = transfer.Read(buffer, sizeof buffer);
    if (n < 0) err = transfer.error();
    if (n <= 0) break;
    if (m.strBody.size() + static_cast<std::size_t>(n) > MaxPreviewBytes()) {
      return Failed(IDS_TROVEX_PREVIEW_TOO_LARGE, Utf8(url));
    }
    m.strBody.append(buffer, static_cast<std::size_t>(n));
  }
  if (err != 0) return Failed(FormatResStringUtf8(IDS_TROVEX_PREVIEW_DOWNLOAD_FAILED, Utf8(url).c_str(), Utf8(SystemErrorText(err)).c_str()));
  m.bLoaded = true;
  return m;
}

}  // namespace

std::size_t MaxPreviewBytes() { return std::size_t{64} << 20; }

MovieKind ClassifyMovie(const std::string& movie) {
  if (movie.empty() || movie == "1") return MovieKind::Empty;
  if (movie.front() == '/') return MovieKind::LocalFile;
  if (AsciiStartsWithNoCase(movie, "http://") || AsciiStartsWithNoCase(movie, "https://")) return MovieKind::Network;
  return MovieKind::Unsupported;
}

MovieBytes LoadMovieBytes(const std::string& movie, const std::atomic<bool>* abort) {
  switch (ClassifyMovie(movie)) {
    case MovieKind::Empty:
      return {};
    case MovieKind::LocalFile:
      return ReadLocal(movie);
    case MovieKind::Network:
      return Fetch(movie, abort);
    case MovieKind::Unsupported:
      break;
  }
  return Failed(IDS_TROVEX_PREVIEW_UNSUPPORTED, Utf8(movie));
}

}  // namespace trovex

// The browsers' native messaging: each message is a 32-bit length in native byte order and
// that many bytes of UTF-8 JSON. What the extension sends, and what the host answers:
//
//   request: { "version": 1,
//              "snapshot": SNAPSHOT,          what pagemodel/collector.js reports (snapshot.h)
//              "cookies": text }              a Mozilla-format jar: the browser's cookies for
//                                             the addresses the page's movies may come from
//   answer:  { "version": 1, "result": n }    GetSWFFile's result (0 dialog shown, 1 no movie)
//            { "version": 1, "error": text }  the request was refused or failed (Chinese text)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trovex::nativehost {

inline constexpr int kMessageVersion = 1;
// The snapshot may be 64 MiB (its own reader's limit); cookies and the frame beside it.
inline constexpr std::size_t kMaxRequestBytes = std::size_t{72} << 20;
// The browsers refuse larger messages from a host.
inline constexpr std::size_t kMaxAnswerBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxCookieLines = 100000;
inline constexpr std::size_t kMaxJsonNesting = 128;

enum class ReadStatus {
  kMessage,  // body holds one message
  kEnd,      // the browser closed the stream between messages
  kBroken,   // the stream is unusable: error says why; nothing more can be read from it
};

struct ReadResult {
  ReadStatus status = ReadStatus::kBroken;
  std::string body;
  std::string error;
};

// Reads one message from `fd`. Once a length has arrived, its body must follow within
// `bodyTimeoutMs` of silence, so a stalled browser cannot hang the host; the wait for the
// next length has no limit (an idle connection).
ReadResult ReadMessage(int fd, std::size_t maxBytes = kMaxRequestBytes, int bodyTimeoutMs = 30000);

// Writes `json` with its length. False when it is larger than a browser accepts or the write
// failed.
bool WriteMessage(int fd, std::string_view json);

struct Request {
  std::string strSnapshot;               // the snapshot as JSON text, for the snapshot reader
  std::vector<std::string> cookieLines;  // Mozilla-format lines, "#HttpOnly_" kept
  std::vector<std::string> skipped;      // one line per cookie left out, for the log
};

// Checks a message's shape: JSON object, the version, only the known fields, their types, a
// cookie jar (its bad lines skipped and noted in `skipped`). False with *error (one line, English, for the log) when it
// is refused.
bool ParseRequest(std::string_view body, Request* out, std::string* error);

// True for {"version": 1, "raise": true}: the extension's second request for a tab whose dialog
// is open, which brings that dialog to the front and gets no answer.
bool IsRaiseRequest(std::string_view body);

// True for one cookie line of a Mozilla-format jar: seven tab-separated fields, a domain and a
// name, TRUE/FALSE flags, a numeric expiry, no control characters.
bool IsCookieLine(std::string_view line);

std::string AnswerResult(long result);
std::string AnswerError(const std::string& text);

}  // namespace trovex::nativehost

#include "native_host/native_messaging.h"

#include <nlohmann/json.hpp>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/fs/posix_io.h"
#include "platform/inet/cookie_jar.h"

namespace trovex::nativehost {
namespace {

using Json = nlohmann::json;

// Reads exactly `size` bytes unless the stream ends; with a timeout, a silence that long ends
// the read too. The bytes read.
std::size_t ReadFull(int fd, char* out, std::size_t size, int timeoutMs, bool* timedOut) {
  std::size_t done = 0;
  while (done < size) {
    if (timeoutMs >= 0) {
      pollfd p{fd, POLLIN, 0};
      int ready = ::poll(&p, 1, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        *timedOut = true;
        return done;
      }
      if (ready < 0) return done;
    }
    ssize_t n = posix::ReadSome(fd, out + done, size - done);
    if (n <= 0) return done;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

struct TooDeep : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace

ReadResult ReadMessage(int fd, std::size_t maxBytes, int bodyTimeoutMs) {
  ReadResult r;
  char header[4];
  bool timedOut = false;
  std::size_t got = ReadFull(fd, header, sizeof header, -1, &timedOut);
  if (got == 0) {
    r.status = ReadStatus::kEnd;
    return r;
  }
  if (got < sizeof header) {
    r.error = "the message length is cut short (" + std::to_string(got) + " of 4 bytes)";
    return r;
  }
  std::uint32_t length = 0;
  std::memcpy(&length, header, sizeof length);  // native byte order, as the browsers write it
  if (length > maxBytes) {
    r.error = "the message is " + std::to_string(length) + " bytes, more than the " +
              std::to_string(maxBytes) + " accepted";
    return r;
  }
  r.body.resize(length);
  got = ReadFull(fd, r.body.data(), length, bodyTimeoutMs, &timedOut);
  if (got < length) {
    r.error = "the message ends after " + std::to_string(got) + " of " + std::to_string(length) + " bytes" +
              (timedOut ? " (nothing more came for " + std::to_string(bodyTimeoutMs / 1000) + " s)" : "");
    r.body.clear();
    return r;
  }
  r.status = ReadStatus::kMessage;
  return r;
}

bool WriteMessage(int fd, std::string_view json) {
  if (json.size() > kMaxAnswerBytes) return false;
  const auto length = static_cast<std::uint32_t>(json.size());
  std::string frame(sizeof length, '\0');
  std::memcpy(frame.data(), &length, sizeof length);
  frame.append(json);
  return posix::WriteAll(fd, frame.data(), frame.size()) == 0;
}

bool IsCookieLine(std::string_view line) {
  for (unsigned char c : line)
    if ((c < 0x20 && c != '\t') || c == 0x7F) return false;
  const std::vector<std::string_view> f = inet::CookieLineFields(line);
  if (f.size() != 7 || f[0].empty() || f[0][0] == '#' || f[5].empty()) return false;
  auto flag = [](std::string_view v) { return v == "TRUE" || v == "FALSE"; };
  if (!flag(f[1]) || !flag(f[3]) || f[2].empty() || f[2][0] != '/') return false;
  if (f[4].empty() || f[4].size() > 19) return false;
  for (char c : f[4])
    if (c < '0' || c > '9') return false;
  return true;
}

bool ParseRequest(std::string_view body, Request* out, std::string* error) {
  Json message;
  try {
    // Depth is bounded while parsing, so a hostile message cannot exhaust the stack.
    message = Json::parse(body, [](int depth, Json::parse_event_t, Json&) {
      if (static_cast<std::size_t>(depth) > kMaxJsonNesting) throw TooDeep("nested deeper than " + std::to_string(kMaxJsonNesting));
      return true;
    });
  } catch (const TooDeep& e) {
    *error = std::string("the message is ") + e.what();
    return false;
  } catch (const Json::exception& e) {
    *error = std::string("the message is not JSON in UTF-8: ") + e.what();
    return false;
  }
  if (!message.is_object()) {
    *error = "the message is not a JSON object";
    return false;
  }
  for (auto it = message.begin(); it != message.end(); ++it) {
    if (it.key() != "version" && it.key() != "snapshot" && it.key() != "cookies") {
      *error = "unknown field \"" + it.key() + "\"";
      return false;
    }
  }
  auto version = message.find("version");
  if (version == message.end()) {
    *error = "version: missing";
    return false;
  }
  if (!version->is_number_integer() || version->get<long long>() != kMessageVersion) {
    *error = "version: " + version->dump() + " is not supported (only " + std::to_string(kMessageVersion) + ")";
    return false;
  }
  auto snapshot = message.find("snapshot");
  if (snapshot == message.end() || !snapshot->is_object()) {
    *error = snapshot == message.end() ? "snapshot: missing" : "snapshot: an object expected";
    return false;
  }
  Request r;
  if (auto cookies = message.find("cookies"); cookies != message.end()) {
    if (!cookies->is_string()) {
      *error = "cookies: a Mozilla-format jar as text expected";
      return false;
    }
    const std::string& jar = cookies->get_ref<const std::string&>();
    std::size_t number = 0;
    for (std::size_t start = 0; start < jar.size();) {
      std::size_t end = jar.find('\n', start);
      if (end == std::string::npos) end = jar.size();
      std::string_view line(jar.data() + start, end - start);
      start = end + 1;
      ++number;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty() || (line[0] == '#' && line.rfind("#HttpOnly_", 0) != 0)) continue;
      // Browsers keep cookies a jar line cannot carry (no name, say): that cookie is left out.
      if (!IsCookieLine(line)) {
        r.skipped.push_back("cookies: line " + std::to_string(number) +
                            " is not a cookie of a Mozilla-format jar; left out");
        continue;
      }
      if (r.cookieLines.size() >= kMaxCookieLines) {
        *error = "cookies: more than " + std::to_string(kMaxCookieLines) + " cookies";
        return false;
      }
      r.cookieLines.emplace_back(line);
    }
  }
  r.strSnapshot = snapshot->dump();
  *out = std::move(r);
  return true;
}

bool IsRaiseRequest(std::string_view body) {
  Json message = Json::parse(body, nullptr, false);
  return message.is_object() && message.size() == 2 && message.value("version", Json()) == kMessageVersion &&
         message.value("raise", Json()) == true;
}

std::string AnswerResult(long result) {
  return Json{{"version", kMessageVersion}, {"result", result}}.dump();
}

std::string AnswerError(const std::string& text) {
  // Replaced, not refused: an error text must always get through.
  return Json{{"version", kMessageVersion}, {"error", text}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace trovex::nativehost

#include "warc/http_payload.h"

#include <brotli/decode.h>
#include <zlib.h>

#include <cstdint>
#include <memory>

#include "platform/text/ascii.h"

namespace trovex::warc {
namespace {

constexpr std::size_t kStep = 64 * 1024;

// The next line of `text` from *pos without its CRLF or LF; false when no LF is left.
bool NextLine(std::string_view text, std::size_t* pos, std::string_view* line) {
  const std::size_t lf = text.find('\n', *pos);
  if (lf == std::string_view::npos) return false;
  std::size_t end = lf;
  if (end > *pos && text[end - 1] == '\r') --end;
  *line = text.substr(*pos, end - *pos);
  *pos = lf + 1;
  return true;
}

bool ParseStatusLine(std::string_view line, long* status) {
  if (!AsciiStartsWithNoCase(line, "HTTP/")) return false;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return false;
  long value = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (!IsAsciiDigit(line[i])) return false;
    value = value * 10 + (line[i] - '0');
  }
  if (line.size() > space + 4 && line[space + 4] != ' ') return false;
  *status = value;
  return value >= 100;
}

// Chunked framing undone. kNone with *plain false when the body does not even start as a
// chunk: a writer that stored it de-chunked but kept the header.
PayloadError Dechunk(std::string_view raw, std::string* out, bool* chunked) {
  std::size_t pos = 0;
  *chunked = false;
  for (bool first = true;; first = false) {
    std::string_view line;
    if (!NextLine(raw, &pos, &line)) return first ? PayloadError::kNone : PayloadError::kBadChunks;
    line = AsciiTrim(line.substr(0, line.find(';')));
    std::uint64_t size = 0;
    bool digits = !line.empty() && line.size() <= 15;
    for (char c : line) {
      const int v = HexDigitValue(c);
      if (v < 0) digits = false;
      size = size * 16 + static_cast<std::uint64_t>(v < 0 ? 0 : v);
    }
    if (!digits) return first ? PayloadError::kNone : PayloadError::kBadChunks;
    *chunked = true;
    if (size == 0) return PayloadError::kNone;  // trailers, if any, are not needed
    if (raw.size() - pos < size) return PayloadError::kBadChunks;
    out->append(raw.substr(pos, static_cast<std::size_t>(size)));
    pos += static_cast<std::size_t>(size);
    if (raw.compare(pos, 2, "\r\n") == 0)
      pos += 2;
    else if (raw.compare(pos, 1, "\n") == 0)
      pos += 1;
    else
      return PayloadError::kBadChunks;
  }
}

// zlib with the given window bits over all of `in`.
PayloadError Inflate(std::string_view in, int windowBits, std::size_t maxOut, std::string* out) {
  z_stream z{};
  if (inflateInit2(&z, windowBits) != Z_OK) return PayloadError::kBadCoding;
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  out->clear();
  for (;;) {
    const std::size_t had = out->size();
    out->resize(had + kStep);
    z.next_out = reinterpret_cast<Bytef*>(out->data() + had);
    z.avail_out = static_cast<uInt>(kStep);
    const int r = inflate(&z, Z_NO_FLUSH);
    out->resize(had + kStep - z.avail_out);
    if (out->size() > maxOut) return PayloadError::kTooLarge;
    if (r == Z_STREAM_END) return PayloadError::kNone;
    if (r != Z_OK) return PayloadError::kBadCoding;  // damaged, or input ended early
  }
}

PayloadError Unbrotli(std::string_view in, std::size_t maxOut, std::string* out) {
  std::unique_ptr<BrotliDecoderState, void (*)(BrotliDecoderState*)> state(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr), BrotliDecoderDestroyInstance);
  if (!state) return PayloadError::kBadCoding;
  const auto* next_in = reinterpret_cast<const std::uint8_t*>(in.data());
  std::size_t avail_in = in.size();
  out->clear();
  for (;;) {
    const std::size_t had = out->size();
    out->resize(had + kStep);
    auto* next_out = reinterpret_cast<std::uint8_t*>(out->data() + had);
    std::size_t avail_out = kStep;
    const BrotliDecoderResult r =
        BrotliDecoderDecompressStream(state.get(), &avail_in, &next_in, &avail_out, &next_out, nullptr);
    out->resize(had + kStep - avail_out);
    if (out->size() > maxOut) return PayloadError::kTooLarge;
    if (r == BROTLI_DECODER_RESULT_SUCCESS) return PayloadError::kNone;
    if (r != BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) return PayloadError::kBadCoding;
  }
}

PayloadError Undo(std::string_view coding, std::string_view in, std::size_t maxOut, std::string* out) {
  if (AsciiEqualsNoCase(coding, "gzip") || AsciiEqualsNoCase(coding, "x-gzip"))
    return Inflate(in, 16 + MAX_WBITS, maxOut, out);
  if (AsciiEqualsNoCase(coding, "deflate")) {
    // Servers send it with the zlib wrapper or, wrongly but often, without.
    const PayloadError wrapped = Inflate(in, MAX_WBITS, maxOut, out);
    return wrapped == PayloadError::kBadCoding ? Inflate(in, -MAX_WBITS, maxOut, out) : wrapped;
  }
  if (AsciiEqualsNoCase(coding, "br")) return Unbrotli(in, maxOut, out);
  return PayloadError::kUnknownCoding;
}

}  // namespace

std::string FindHeader(const HeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (AsciiEqualsNoCase(key, name)) return value;
  return {};
}

PayloadError ParseHttpHead(std::string_view block, std::size_t maxHead, HttpHead* head) {
  const std::string_view text = block.substr(0, maxHead);
  std::size_t pos = 0;
  std::string_view line;
  if (!NextLine(text, &pos, &line))
    return block.size() > maxHead ? PayloadError::kHeadTooLarge : PayloadError::kBadHead;
  if (!ParseStatusLine(line, &head->status)) return PayloadError::kBadHead;
  for (;;) {
    if (!NextLine(text, &pos, &line))
      return block.size() > maxHead ? PayloadError::kHeadTooLarge : PayloadError::kBadHead;
    if (line.empty()) break;
    if ((line[0] == ' ' || line[0] == '\t') && !head->headers.empty()) {
      head->headers.back().second += ' ';
      head->headers.back().second += AsciiTrim(line);
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return PayloadError::kBadHead;
    head->headers.emplace_back(std::string(AsciiTrim(line.substr(0, colon))),
                               std::string(AsciiTrim(line.substr(colon + 1))));
  }
  head->bodyOffset = pos;
  return PayloadError::kNone;
}

PayloadError DecodeHttpBody(std::string_view raw, const HttpHead& head, std::size_t maxBody,
                            std::string* body, std::string* coding) {
  body->clear();
  if (head.status < 200 || head.status == 204 || head.status == 304) return PayloadError::kNone;
  const HeaderList& headers = head.headers;
  std::string dechunked;
  bool chunked = false;
  const std::string transfer = AsciiToLower(FindHeader(headers, "Transfer-Encoding"));
  if (transfer.find("chunked") != std::string::npos) {
    if (PayloadError e = Dechunk(raw, &dechunked, &chunked); e != PayloadError::kNone) return e;
    if (chunked) raw = dechunked;
  }
  if (!chunked) {
    const std::string length = std::string(AsciiTrim(FindHeader(headers, "Content-Length")));
    std::uint64_t announced = 0;
    bool valid = !length.empty() && length.size() <= 18;
    for (char c : length) {
      if (!IsAsciiDigit(c)) valid = false;
      announced = announced * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (valid && raw.size() < announced) return PayloadError::kCutBody;
    if (valid) raw = raw.substr(0, static_cast<std::size_t>(announced));
  }
  // Codings are listed in the order they were applied; undo them from the last.
  std::vector<std::string> codings;
  const std::string list = FindHeader(headers, "Content-Encoding");
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string_view one = AsciiTrim(std::string_view(list).substr(start, comma - start));
    if (!one.empty() && !AsciiEqualsNoCase(one, "identity")) codings.emplace_back(one);
    start = comma + 1;
  }
  std::string current(raw), next;
  for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
    if (PayloadError e = Undo(*it, current, maxBody, &next); e != PayloadError::kNone) {
      *coding = *it;
      return e;
    }
    current.swap(next);
  }
  if (current.size() > maxBody) return PayloadError::kTooLarge;
  *body = std::move(current);
  return PayloadError::kNone;
}

}  // namespace trovex::warc

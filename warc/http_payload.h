// The HTTP response an archive keeps as it came over the wire: its status line and headers,
// and its body freed of transfer and content codings, as the HTTP transport hands one over.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex::warc {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

enum class PayloadError {
  kNone,
  kBadHead,        // no status line or a header line without a colon
  kHeadTooLarge,
  kBadChunks,      // chunked framing broken or cut short
  kCutBody,        // fewer bytes than Content-Length announced
  kUnknownCoding,  // a content coding we cannot undo
  kBadCoding,      // compressed data that does not decompress
  kTooLarge,       // more than the limit once decoded
};

struct HttpHead {
  long status = 0;
  HeaderList headers;
  std::size_t bodyOffset = 0;  // where the body starts in the block
};

// `block` starts with the status line; the head may not exceed maxHead bytes.
PayloadError ParseHttpHead(std::string_view block, std::size_t maxHead, HttpHead* head);

// The first value of a header, compared ignoring ASCII case; empty when absent.
std::string FindHeader(const HeaderList& headers, std::string_view name);

// The body `raw` sent with `head`, de-chunked and decoded; *coding names a coding that failed or
// is unknown. Never holds more than maxBody decoded bytes. 1xx, 204 and 304 answers have none.
PayloadError DecodeHttpBody(std::string_view raw, const HttpHead& head, std::size_t maxBody,
                            std::string* body, std::string* coding);

}  // namespace trovex::warc

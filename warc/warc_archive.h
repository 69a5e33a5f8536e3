// Web archives (WARC 1.0 and 1.1, plain or compressed record by record) as a source of pages
// and movies. The files are read once and indexed by address; a look-up reads only its record,
// from where the index says it stands, and hands over the response as the HTTP transport
// would: status, headers, and the body without transfer or content coding.
//
// Which capture answers: without a date, the newest. With one, the newest capture inside the
// span the date names (its second for a 14-digit stamp, its day for a date alone); when there
// is none, the capture closest to that span, the earlier one on a tie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/inet/page_source.h"
#include "warc/http_payload.h"
#include "warc/warc_date.h"

namespace trovex::warc {

enum class WarcError {
  kNone,
  kCannotOpen,          // the file cannot be opened or read
  kNotWarc,             // it does not start with a web archive record
  kCutRecord,           // the file ends inside a record
  kBadRecordHeader,     // a record's header cannot be read
  kHeaderTooLarge,      // a record's header exceeds the limit
  kBadLength,           // a record's length is missing, or its content does not end there
  kRecordTooLarge,      // a record's length exceeds the limit
  kBadCompression,      // compressed data that does not inflate
  kBadDate,             // a record's date cannot be read
  kBadHttp,             // an archived response's status line or headers cannot be read
  kBadBody,             // an archived body is cut short or its chunks are broken
  kUnknownCoding,       // a body in a coding that cannot be undone
  kBodyTooLarge,        // a body larger than the limit once decoded
  kRevisitUnresolved,   // a revisit record whose original is not in the archives
  kRevisitLoop,         // revisit records that lead back to themselves, or too far
  kNotFound,            // no capture of the address
  kBadDateQuery,        // a date asked for that is neither 14 digits nor an ISO date
};

// The failure and what to tell the user (Traditional Chinese, in the locale's code page).
struct WarcFailure {
  WarcError code = WarcError::kNone;
  std::string reason;
};

struct WarcLimits {
  // A record's header, and an archived HTTP response's head.
  std::size_t maxHeaderBytes = 64 * 1024;
  // A record's content as its header announces it.
  std::uint64_t maxRecordBytes = std::uint64_t{1} << 30;
  // Revisit records followed one after another to reach an original.
  std::size_t maxRevisitHops = 8;
};

enum class RecordType { kResponse, kResource, kRevisit };

// One capture the index holds.
struct Capture {
  std::string uri;
  std::int64_t date = 0;  // microseconds since 1970, UTC
  RecordType type = RecordType::kResponse;
  std::size_t file = 0;   // index into the paths given
  std::uint64_t offset = 0;  // of the record, or of its gzip member, in the file
};

struct ArchivedResponse {
  Capture capture;         // the record that answered (a revisit stays a revisit here)
  long status = 0;
  HeaderList headers;
  std::string body;        // decoded
  std::string redirect;    // absolute Location of a 3xx answer, else empty
};

// "20240501123000" or an ISO date / date-time; kBadDateQuery otherwise.
bool ParseDateQuery(const std::string& text, DateSpan* span, WarcFailure* failure);

class WarcArchive final : public inet::PageSource {
 public:
  // Reads and indexes every file. Null, with *failure, when one cannot be read or is no web
  // archive. Damage met further in ends that file's index there and is kept in problems():
  // what stands before it stays usable. `date` is what Get answers for (newest when unset).
  static std::unique_ptr<WarcArchive> Open(const std::vector<std::string>& paths,
                                           std::optional<DateSpan> date, const WarcLimits& limits,
                                           WarcFailure* failure);
  ~WarcArchive() override;

  // The capture of `url` chosen by the rule above, read and decoded. Thread-safe.
  bool Find(const std::string& url, std::optional<DateSpan> date, std::size_t maxBody,
            ArchivedResponse* response, WarcFailure* failure) const;
  // Find with the date given at Open, as the one interface for pages and movies.
  inet::SourceAnswer Get(const std::string& url, const inet::SourceLimits& limits) override;

  // Every capture of `url`, oldest first.
  std::vector<Capture> Captures(const std::string& url) const;
  std::size_t size() const;
  const std::vector<WarcFailure>& problems() const { return problems_; }

 private:
  struct Entry;
  struct File;
  WarcArchive(std::optional<DateSpan> date, const WarcLimits& limits);
  bool IndexFile(std::size_t index, const std::string& path, WarcFailure* failure);
  std::optional<std::size_t> Choose(const std::vector<std::size_t>& captures,
                                    std::optional<DateSpan> date) const;
  bool ResolveRevisit(std::size_t start, std::size_t* original, WarcFailure* failure) const;
  bool ReadBlock(const Entry& entry, std::uint64_t cap, std::string* block, WarcFailure* failure) const;
  bool ReadResponse(const Entry& entry, std::size_t maxBody, HttpHead* head, std::string* body,
                    WarcFailure* failure) const;
  Capture CaptureOf(const Entry& entry) const;

  std::optional<DateSpan> date_;
  WarcLimits limits_;
  std::vector<std::unique_ptr<File>> files_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::vector<std::size_t>> byKey_;
  std::unordered_map<std::string, std::size_t> byRecordId_;
  std::unordered_map<std::string, std::vector<std::size_t>> byDigest_;
  std::vector<WarcFailure> problems_;
};

}  // namespace trovex::warc

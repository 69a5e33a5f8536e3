#include "warc/warc_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>

#include "platform/error/error.h"
#include "platform/fs/posix_io.h"
#include "platform/inet/url_resolve.h"
#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "warc/record_stream.h"

namespace trovex::warc {

struct WarcArchive::File {
  std::string path;
  posix::Fd fd;
  bool gzip = false;
};

struct WarcArchive::Entry {
  std::string uri;
  std::int64_t date = 0;
  RecordType type = RecordType::kResponse;
  std::size_t file = 0;
  std::uint64_t offset = 0;  // of the record (its member when compressed), for messages
  StreamPos block;
  std::uint64_t length = 0;
  bool truncated = false;
  bool notModified = false;  // a revisit of the server-not-modified kind
  std::string contentType;
  std::string refersTo, refersToUri, digest;
  std::optional<std::int64_t> refersToDate;
};

namespace {

std::string Number(std::uint64_t n) { return std::to_string(n); }

WarcFailure AtRecord(WarcError code, unsigned id, const std::string& path, std::uint64_t offset) {
  return {code, FormatResString(id, path.c_str(), Number(offset).c_str())};
}

WarcFailure ForAddress(WarcError code, unsigned id, const std::string& address) {
  return {code, FormatResString(id, address.c_str())};
}

// The address as written, without the angle brackets WARC 1.0 writers put around it.
std::string Unbracket(std::string_view value) {
  value = AsciiTrim(value);
  if (value.size() >= 2 && value.front() == '<' && value.back() == '>') value = value.substr(1, value.size() - 2);
  return std::string(AsciiTrim(value));
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool ParseLength(std::string_view text, std::uint64_t* value) {
  text = AsciiTrim(text);
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (!IsAsciiDigit(c)) return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

// What a failing stream met, as the failure of the record at `offset`.
WarcFailure StreamFailure(const RecordStream& stream, const std::string& path, std::uint64_t offset) {
  switch (stream.state()) {
    case StreamState::kBadGzip:
      return AtRecord(WarcError::kBadCompression, IDS_TROVEX_WARC_BAD_COMPRESSION, path, stream.failureOffset());
    case StreamState::kIoError:
      return {WarcError::kCannotOpen, FormatResString(IDS_TROVEX_WARC_CANNOT_OPEN, path.c_str(),
                                                      SystemMessageText(Win32ErrorFromErrno(EIO)).c_str())};
    default:
      return AtRecord(WarcError::kCutRecord, IDS_TROVEX_WARC_CUT_RECORD, path, offset);
  }
}

}  // namespace

bool ParseDateQuery(const std::string& text, DateSpan* span, WarcFailure* failure) {
  if (ParseArchiveDate(text, span)) return true;
  *failure = {WarcError::kBadDateQuery, FormatResString(IDS_TROVEX_WARC_BAD_DATE_QUERY, text.c_str())};
  return false;
}

WarcArchive::WarcArchive(std::optional<DateSpan> date, const WarcLimits& limits)
    : date_(date), limits_(limits) {}

WarcArchive::~WarcArchive() = default;

std::unique_ptr<WarcArchive> WarcArchive::Open(const std::vector<std::string>& paths,
                                               std::optional<DateSpan> date, const WarcLimits& limits,
                                               WarcFailure* failure) {
  std::unique_ptr<WarcArchive> archive(new WarcArchive(date, limits));
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (!archive->IndexFile(i, paths[i], failure)) return nullptr;
  for (auto& [key, list] : archive->byKey_)
    std::stable_sort(list.begin(), list.end(), [&](std::size_t a, std::size_t b) {
      return archive->entries_[a].date < archive->entries_[b].date;
    });
  return archive;
}

bool WarcArchive::IndexFile(std::size_t index, const std::string& path, WarcFailure* failure) {
  auto file = std::make_unique<File>();
  file->path = path;
  file->fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st{};
  int err = 0;
  if (file->fd.get() < 0 || ::fstat(file->fd.get(), &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))  // records are read again later by their offsets
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (err != 0) {
    *failure = {WarcError::kCannotOpen, FormatResString(IDS_TROVEX_WARC_CANNOT_OPEN, path.c_str(),
                                                        SystemMessageText(Win32ErrorFromErrno(err)).c_str())};
    return false;
  }
  unsigned char magic[2] = {0, 0};
  file->gzip = ::pread(file->fd.get(), magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  const bool gzip = file->gzip;
  RecordStream stream(file->fd.get(), gzip);
  files_.push_back(std::move(file));

  const std::size_t maxHeader = limits_.maxHeaderBytes;
  // Until a record's first line was read the file may be anything but an archive.
  bool isArchive = false;
  // Damage ends this file's index; what came before it stays.
  auto damaged = [&](WarcFailure f) {
    if (isArchive) {
      problems_.push_back(std::move(f));
      return true;
    }
    if (f.code != WarcError::kBadCompression && f.code != WarcError::kCannotOpen)
      f = {WarcError::kNotWarc, FormatResString(IDS_TROVEX_WARC_NOT_WARC, path.c_str())};
    *failure = std::move(f);
    return false;
  };
  for (;;) {
    // Blank lines between records are tolerated, within the header limit.
    std::string line;
    std::size_t blank = 0;
    StreamPos start;
    LineResult got;
    for (;;) {
      line.clear();
      start = stream.Tell();
      got = stream.ReadLine(&line, maxHeader);
      if (got != LineResult::kLine || !WithoutLineEnd(line).empty()) break;
      blank += line.size();
      if (blank > maxHeader) {
        got = LineResult::kTooLong;
        break;
      }
    }
    const std::uint64_t offset = gzip ? start.member : start.inner;
    const std::string& name = files_.back()->path;
    if (got == LineResult::kEnd && line.empty()) {
      if (stream.state() == StreamState::kEnd) return true;
      return damaged(StreamFailure(stream, name, offset));
    }
    if (got == LineResult::kEnd) return damaged(StreamFailure(stream, name, offset));
    const std::string_view version = WithoutLineEnd(line);
    if (got == LineResult::kTooLong || (version != "WARC/1.0" && version != "WARC/1.1"))
      return damaged(AtRecord(WarcError::kBadRecordHeader, IDS_TROVEX_WARC_BAD_RECORD_HEADER, name, offset));
    isArchive = true;

    HeaderList fields;
    std::size_t headerBytes = line.size();
    bool ended = false;
    while (!ended) {
      line.clear();
      got = stream.ReadLine(&line, maxHeader - std::min(headerBytes, maxHeader));
      headerBytes += line.size();
      if (got == LineResult::kTooLong || headerBytes >= maxHeader)
        return damaged(AtRecord(WarcError::kHeaderTooLarge, IDS_TROVEX_WARC_HEADER_TOO_LARGE, name, offset));
      if (got == LineResult::kEnd) return damaged(StreamFailure(stream, name, offset));
      const std::string_view text = WithoutLineEnd(line);
      if (text.empty()) {
        ended = true;
      } else if ((text[0] == ' ' || text[0] == '\t') && !fields.empty()) {
        fields.back().second += ' ';
        fields.back().second += AsciiTrim(text);
      } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos || colon == 0)
          return damaged(AtRecord(WarcError::kBadRecordHeader, IDS_TROVEX_WARC_BAD_RECORD_HEADER, name, offset));
        fields.emplace_back(std::string(AsciiTrim(text.substr(0, colon))),
                            std::string(AsciiTrim(text.substr(colon + 1))));
      }
    }
    std::uint64_t length = 0;
    if (!ParseLength(FindHeader(fields, "Content-Length"), &length))
      return damaged(AtRecord(WarcError::kBadLength, IDS_TROVEX_WARC_BAD_LENGTH, name, offset));
    if (length > limits_.maxRecordBytes)
      return damaged(AtRecord(WarcError::kRecordTooLarge, IDS_TROVEX_WARC_RECORD_TOO_LARGE, name, offset));
    const StreamPos block = stream.Tell();
    if (stream.Skip(length) != length) return damaged(StreamFailure(stream, name, offset));
    char end[4];
    const std::size_t endBytes = stream.Read(end, sizeof end);
    if (endBytes < sizeof end && stream.state() != StreamState::kOk && stream.state() != StreamState::kEnd)
      return damaged(StreamFailure(stream, name, offset));
    if (endBytes < sizeof end && std::string_view(end, endBytes) == std::string_view("\r\n\r\n", endBytes))
      return damaged(AtRecord(WarcError::kCutRecord, IDS_TROVEX_WARC_CUT_RECORD, name, offset));
    if (endBytes < sizeof end || std::string_view(end, 4) != "\r\n\r\n")
      return damaged(AtRecord(WarcError::kBadLength, IDS_TROVEX_WARC_BAD_LENGTH, name, offset));

    const std::string type = AsciiToLower(FindHeader(fields, "WARC-Type"));
    RecordType kind;
    if (type == "response")
      kind = RecordType::kResponse;
    else if (type == "resource")
      kind = RecordType::kResource;
    else if (type == "revisit")
      kind = RecordType::kRevisit;
    else
      continue;
    Entry entry;
    entry.uri = Unbracket(FindHeader(fields, "WARC-Target-URI"));
    if (entry.uri.empty()) continue;
    const std::string dateText = FindHeader(fields, "WARC-Date");
    DateSpan span;
    if (!ParseArchiveDate(dateText, &span)) {
      // The record itself is sound: note it and go on with the next.
      problems_.push_back({WarcError::kBadDate, FormatResString(IDS_TROVEX_WARC_BAD_DATE, name.c_str(),
                                                                Number(offset).c_str(), dateText.c_str())});
      continue;
    }
    entry.date = span.begin;
    entry.type = kind;
    entry.file = index;
    entry.offset = offset;
    entry.block = block;
    entry.length = length;
    entry.truncated = !FindHeader(fields, "WARC-Truncated").empty();
    entry.notModified = FindHeader(fields, "WARC-Profile").find("server-not-modified") != std::string::npos;
    entry.contentType = FindHeader(fields, "Content-Type");
    entry.refersTo = Unbracket(FindHeader(fields, "WARC-Refers-To"));
    entry.refersToUri = Unbracket(FindHeader(fields, "WARC-Refers-To-Target-URI"));
    entry.digest = std::string(AsciiTrim(FindHeader(fields, "WARC-Payload-Digest")));
    if (DateSpan refers; ParseArchiveDate(FindHeader(fields, "WARC-Refers-To-Date"), &refers))
      entry.refersToDate = refers.begin;
    const std::size_t at = entries_.size();
    byKey_[inet::SourceAddressKey(entry.uri)].push_back(at);
    if (const std::string id = Unbracket(FindHeader(fields, "WARC-Record-ID")); !id.empty())
      byRecordId_.emplace(id, at);  // the first record of an id keeps it
    if (kind != RecordType::kRevisit && !entry.digest.empty()) byDigest_[entry.digest].push_back(at);
    entries_.push_back(std::move(entry));
  }
}

std::size_t WarcArchive::size() const { return entries_.size(); }

Capture WarcArchive::CaptureOf(const Entry& entry) const {
  return {entry.uri, entry.date, entry.type, entry.file, entry.offset};
}

std::vector<Capture> WarcArchive::Captures(const std::string& url) const {
  std::vector<Capture> out;
  auto it = byKey_.find(inet::SourceAddressKey(url));
  if (it != byKey_.end())
    for (std::size_t i : it->second) out.push_back(CaptureOf(entries_[i]));
  return out;
}

std::optional<std::size_t> WarcArchive::Choose(const std::vector<std::size_t>& captures,
                                               std::optional<DateSpan> date) const {
  if (captures.empty()) return std::nullopt;
  if (!date) return captures.back();  // sorted oldest first; the last written wins a tie
  std::optional<std::size_t> best;
  std::int64_t bestDistance = 0;
  for (std::size_t i : captures) {
    const std::int64_t d = entries_[i].date;
    const std::int64_t distance = d < date->begin ? date->begin - d : (d >= date->end ? d - date->end + 1 : 0);
    // Inside the span the newest wins; outside it the closest, the earlier on a tie.
    if (!best || distance < bestDistance || (distance == 0 && bestDistance == 0)) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

bool WarcArchive::ResolveRevisit(std::size_t start, std::size_t* original, WarcFailure* failure) const {
  std::set<std::size_t> seen;
  std::size_t current = start;
  for (std::size_t hops = 0; entries_[current].type == RecordType::kRevisit; ++hops) {
    if (!seen.insert(current).second || hops >= limits_.maxRevisitHops) {
      *failure = ForAddress(WarcError::kRevisitLoop, IDS_TROVEX_WARC_REVISIT_LOOP, entries_[start].uri);
      return false;
    }
    const Entry& revisit = entries_[current];
    std::optional<std::size_t> next;
    if (auto it = byRecordId_.find(revisit.refersTo); !revisit.refersTo.empty() && it != byRecordId_.end())
      next = it->second;
    if (!next && !revisit.refersToUri.empty()) {
      auto it = byKey_.find(inet::SourceAddressKey(revisit.refersToUri));
      if (it != byKey_.end()) {
        // The capture of that date, or without one the newest before the revisit.
        for (std::size_t i : it->second) {
          const Entry& e = entries_[i];
          if (i == current) continue;
          if (revisit.refersToDate ? e.date == *revisit.refersToDate : e.date <= revisit.date) next = i;
        }
      }
    }
    if (!next && !revisit.digest.empty()) {
      if (auto it = byDigest_.find(revisit.digest); it != byDigest_.end()) {
        // Several originals with that payload: the one of the same address if there is one.
        const std::string key = inet::SourceAddressKey(revisit.uri);
        next = it->second.front();
        for (std::size_t i : it->second)
          if (inet::SourceAddressKey(entries_[i].uri) == key) next = i;
      }
    }
    if (!next) {
      *failure = ForAddress(WarcError::kRevisitUnresolved, IDS_TROVEX_WARC_REVISIT_UNRESOLVED, entries_[start].uri);
      return false;
    }
    current = *next;
  }
  *original = current;
  return true;
}

bool WarcArchive::ReadBlock(const Entry& entry, std::uint64_t cap, std::string* block,
                            WarcFailure* failure) const {
  if (entry.length > cap) {
    *failure = {WarcError::kBodyTooLarge,
                FormatResString(IDS_TROVEX_WARC_BODY_TOO_LARGE, entry.uri.c_str(), Number(cap).c_str())};
    return false;
  }
  const File& file = *files_[entry.file];
  RecordStream stream(file.fd.get(), file.gzip);
  block->resize(static_cast<std::size_t>(entry.length));
  if (!stream.Seek(entry.block) || stream.Read(block->data(), block->size()) != block->size()) {
    // The file changed or went bad since it was indexed.
    *failure = StreamFailure(stream, file.path, entry.offset);
    return false;
  }
  return true;
}

bool WarcArchive::ReadResponse(const Entry& entry, std::size_t maxBody, HttpHead* head, std::string* body,
                               WarcFailure* failure) const {
  // Room for the head and for chunk framing around a body of the limit.
  const std::uint64_t cap = std::uint64_t{maxBody} * 2 + limits_.maxHeaderBytes + 4096;
  std::string block;
  if (!ReadBlock(entry, cap, &block, failure)) return false;
  if (entry.type == RecordType::kResource) {
    head->status = 200;
    head->headers.clear();
    if (!entry.contentType.empty()) head->headers.emplace_back("Content-Type", entry.contentType);
    head->bodyOffset = 0;
    if (entry.truncated) {
      *failure = ForAddress(WarcError::kBadBody, IDS_TROVEX_WARC_BAD_BODY, entry.uri);
      return false;
    }
    if (block.size() > maxBody) {
      *failure = {WarcError::kBodyTooLarge, FormatResString(IDS_TROVEX_WARC_BODY_TOO_LARGE, entry.uri.c_str(),
                                                            Number(maxBody).c_str())};
      return false;
    }
    *body = std::move(block);
    return true;
  }
  const PayloadError headError = ParseHttpHead(block, limits_.maxHeaderBytes, head);
  if (headError != PayloadError::kNone) {
    *failure = ForAddress(WarcError::kBadHttp, IDS_TROVEX_WARC_BAD_HTTP, entry.uri);
    return false;
  }
  if (body == nullptr) return true;
  std::string coding;
  const PayloadError e =
      DecodeHttpBody(std::string_view(block).substr(head->bodyOffset), *head, maxBody, body, &coding);
  switch (e) {
    case PayloadError::kNone:
      if (!entry.truncated) return true;
      [[fallthrough]];
    case PayloadError::kBadChunks:
    case PayloadError::kCutBody:
    case PayloadError::kBadCoding:
    case PayloadError::kBadHead:
    case PayloadError::kHeadTooLarge:
      *failure = ForAddress(WarcError::kBadBody, IDS_TROVEX_WARC_BAD_BODY, entry.uri);
      return false;
    case PayloadError::kUnknownCoding:
      *failure = {WarcError::kUnknownCoding,
                  FormatResString(IDS_TROVEX_WARC_UNKNOWN_CODING, entry.uri.c_str(), coding.c_str())};
      return false;
    case PayloadError::kTooLarge:
      *failure = {WarcError::kBodyTooLarge, FormatResString(IDS_TROVEX_WARC_BODY_TOO_LARGE, entry.uri.c_str(),
                                                            Number(maxBody).c_str())};
      return false;
  }
  return false;
}

bool WarcArchive::Find(const std::string& url, std::optional<DateSpan> date, std::size_t maxBody,
                       ArchivedResponse* response, WarcFailure* failure) const {
  auto it = byKey_.find(inet::SourceAddressKey(url));
  const std::optional<std::size_t> chosen = it == byKey_.end() ? std::nullopt : Choose(it->second, date);
  if (!chosen) {
    *failure = ForAddress(WarcError::kNotFound, IDS_TROVEX_WARC_NOT_FOUND, url);
    return false;
  }
  const Entry& entry = entries_[*chosen];
  std::size_t original = *chosen;
  if (!ResolveRevisit(*chosen, &original, failure)) return false;
  HttpHead head;
  std::string body;
  if (!ReadResponse(entries_[original], maxBody, &head, &body, failure)) return false;
  if (original != *chosen && !entry.notModified) {
    // The revisit's own answer, when it kept one, with the original's body.
    HttpHead own;
    WarcFailure ignored;
    if (ReadResponse(entry, maxBody, &own, nullptr, &ignored) && own.status != 304) head = std::move(own);
  }
  response->capture = CaptureOf(entry);
  response->status = head.status;
  response->headers = std::move(head.headers);
  response->body = std::move(body);
  response->redirect.clear();
  if (response->status >= 300 && response->status < 400)
    if (const std::string location = FindHeader(response->headers, "Location"); !location.empty())
      response->redirect = ResolveUrl(entry.uri, location);
  return true;
}

inet::SourceAnswer WarcArchive::Get(const std::string& url, const inet::SourceLimits& limits) {
  inet::SourceAnswer answer;
  ArchivedResponse response;
  WarcFailure failure;
  if (!Find(url, date_, limits.maxBodyBytes, &response, &failure)) {
    switch (failure.code) {
      case WarcError::kNotFound: answer.error = inet::kSourceItemNotFound; break;
      case WarcError::kUnknownCoding: answer.error = ERROR_INTERNET_DECODING_FAILED; break;
      case WarcError::kCannotOpen: answer.error = ERROR_IO_DEVICE; break;
      default: answer.error = ERROR_INVALID_DATA; break;
    }
    answer.reason = std::move(failure.reason);
    return answer;
  }
  answer.status = response.status;
  answer.headers = std::move(response.headers);
  answer.body = std::move(response.body);
  answer.redirect = std::move(response.redirect);
  return answer;
}

}  // namespace trovex::warc

// The web archive reader on archives made here: sound ones for look-ups, dates and revisits,
// and hostile ones, each of which must end in its own error and never in a crash.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <clocale>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"
#include "warc/warc_archive.h"

namespace trovex::warc {
namespace {

using test::EncodeBody;
using test::HttpResponseText;

std::string Record(const std::string& type, const std::string& uri, const std::string& date,
                   const std::string& block, const std::string& extra = "",
                   const std::string& version = "WARC/1.1") {
  std::string r = version + "\r\nWARC-Type: " + type + "\r\n";
  if (!uri.empty()) r += "WARC-Target-URI: " + uri + "\r\n";
  return r + "WARC-Date: " + date + "\r\n" + extra + "Content-Length: " + std::to_string(block.size()) +
         "\r\n\r\n" + block + "\r\n\r\n";
}

// The record with its header announcing `length` bytes, whatever its content holds.
std::string WithLength(std::string record, std::size_t length) {
  const std::size_t at = record.find("Content-Length: ") + 16;
  return record.replace(at, record.find('\r', at) - at, std::to_string(length));
}

std::string Gzip(const std::string& data) { return EncodeBody(data, "gzip"); }

// Every record in a gzip member of its own, as compressing writers do.
std::string GzipEach(const std::vector<std::string>& records) {
  std::string out;
  for (const auto& r : records) out += Gzip(r);
  return out;
}

const std::string kMovie = "FWS\x0a" + std::string(300, '\x01') + std::string("\0\xff\r\n", 4);
const std::string kPage = Record("response", "http://h.example/a.swf", "2024-05-01T10:00:00Z",
                                 HttpResponseText(200, kMovie));

struct Opened {
  std::unique_ptr<WarcArchive> archive;
  WarcFailure failure;
};

Opened OpenBytes(const test::TempDir& dir, const std::string& bytes, WarcLimits limits = {},
                 std::optional<DateSpan> date = std::nullopt) {
  static int n = 0;
  Opened o;
  o.archive = WarcArchive::Open({dir.WriteFile("a" + std::to_string(++n) + ".warc", bytes)}, date, limits, &o.failure);
  return o;
}

class WarcTest : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_ALL, "C.UTF-8"); }
  test::TempDir dir_;
};

// Sound archives: the capture each address finds and what it hands over.
TEST_F(WarcTest, LooksUpDecodesAndFollowsRevisits) {
  const std::string chunkedGzip = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string gz = Gzip("<html>page</html>");
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", gz.size());
  const std::vector<std::string> records = {
      Record("warcinfo", "", "2024-05-01T09:00:00Z", "software: test\r\n"),
      kPage,
      Record("response", "<http://h.example/a.swf>", "2024-06-01T10:00:00Z", HttpResponseText(200, "newer"),
             "", "WARC/1.0"),
      Record("response", "http://h.example/page.html", "2024-05-01T10:00:01.5Z",
             chunkedGzip + size + gz + "\r\n0\r\n\r\n"),
      Record("response", "http://h.example/br.swf", "2024-05-01T10:00:02Z",
             HttpResponseText(200, EncodeBody("brotli body", "br"), {"Content-Encoding: br"})),
      Record("response", "http://h.example/raw.swf", "2024-05-01T10:00:02Z",
             HttpResponseText(200, EncodeBody("zlib body", "deflate"), {"Content-Encoding: deflate"})),
      Record("response", "http://h.example/old", "2024-05-01T10:00:03Z",
             HttpResponseText(302, "", {"Location: ../a.swf?x=1"})),
      Record("resource", "http://h.example/res.swf", "2024-05-01T10:00:04Z", "resource bytes",
             "Content-Type: application/x-shockwave-flash\r\nWARC-Record-ID: <urn:uuid:res>\r\n"),
      Record("revisit", "http://h.example/copy.swf", "2024-05-02T00:00:00Z",
             "HTTP/1.1 200 OK\r\nX-Own: yes\r\n\r\n", "WARC-Refers-To: <urn:uuid:res>\r\n"),
      Record("revisit", "http://h.example/bydate.swf", "2024-05-03T00:00:00Z", "",
             "WARC-Refers-To-Target-URI: http://h.example/a.swf\r\n"
             "WARC-Refers-To-Date: 2024-05-01T10:00:00Z\r\n"
             "WARC-Profile: http://netpreserve.org/warc/1.1/revisit/server-not-modified\r\n"),
      Record("response", "http://h.example/d1.swf", "2024-05-01T10:00:05Z", HttpResponseText(200, "same"),
             "WARC-Payload-Digest: sha1:ABC\r\n"),
      Record("revisit", "http://h.example/d2.swf", "2024-05-04T00:00:00Z", HttpResponseText(200, ""),
             "WARC-Payload-Digest: sha1:ABC\r\n"),
      Record("request", "http://h.example/nothing.swf", "2024-05-01T10:00:06Z", "GET / HTTP/1.1\r\n\r\n"),
      Record("response", "http://h.example/%E5%BD%B1.swf", "2024-05-01T10:00:07Z", HttpResponseText(200, "escaped")),
  };
  std::string plain;
  for (const auto& r : records) plain += r;
  struct Case {
    std::string url;
    std::string body;
    long status;
    RecordType type;
    std::string redirect;
  } cases[] = {
      {"http://h.example/a.swf", "newer", 200, RecordType::kResponse, ""},
      // The canonical form finds it: case, dot segments, default port and fragment.
      {"HTTP://H.Example:80/x/../page.html#top", "<html>page</html>", 200, RecordType::kResponse, ""},
      {"http://h.example/br.swf", "brotli body", 200, RecordType::kResponse, ""},
      {"http://h.example/raw.swf", "zlib body", 200, RecordType::kResponse, ""},
      {"http://h.example/old", "", 302, RecordType::kResponse, "http://h.example/a.swf?x=1"},
      {"http://h.example/res.swf", "resource bytes", 200, RecordType::kResource, ""},
      {"http://h.example/copy.swf", "resource bytes", 200, RecordType::kRevisit, ""},
      {"http://h.example/bydate.swf", kMovie, 200, RecordType::kRevisit, ""},
      {"http://h.example/d2.swf", "same", 200, RecordType::kRevisit, ""},
      {"http://h.example/\xe5\xbd\xb1.swf", "escaped", 200, RecordType::kResponse, ""},
  };
  for (const std::string& bytes : {plain, GzipEach(records)}) {
    Opened o = OpenBytes(dir_, bytes);
    ASSERT_TRUE(o.archive) << o.failure.reason;
    EXPECT_TRUE(o.archive->problems().empty());
    EXPECT_EQ(o.archive->size(), 12u);  // warcinfo and request records are no captures
    for (const Case& c : cases) {
      ArchivedResponse r;
      WarcFailure f;
      ASSERT_TRUE(o.archive->Find(c.url, std::nullopt, 1 << 20, &r, &f)) << c.url << ": " << f.reason;
      EXPECT_EQ(r.body, c.body) << c.url;
      EXPECT_EQ(r.status, c.status) << c.url;
      EXPECT_EQ(r.capture.type, c.type) << c.url;
      EXPECT_EQ(r.redirect, c.redirect) << c.url;
    }
    inet::SourceAnswer copy = o.archive->Get("http://h.example/copy.swf", {});
    EXPECT_EQ(copy.Header("x-own").value_or(""), "yes");
    inet::SourceAnswer missing = o.archive->Get("http://h.example/nothing.swf", {});
    EXPECT_EQ(missing.error, inet::kSourceItemNotFound);
    EXPECT_EQ(missing.reason, "網頁封存檔中沒有「http://h.example/nothing.swf」。");
  }
}

// Which capture a date picks: the newest inside the span it names, else the closest.
TEST_F(WarcTest, DateChoosesTheCapture) {
  std::string bytes;
  for (const char* d : {"2020-01-01T00:00:00Z", "2020-01-01T12:00:00Z", "2020-03-01T00:00:00Z", "2021-01-01T00:00:00Z"})
    bytes += Record("response", "http://h/m.swf", d, HttpResponseText(200, d));
  Opened o = OpenBytes(dir_, bytes);
  ASSERT_TRUE(o.archive);
  struct Case {
    const char* query;
    const char* want;
  } cases[] = {
      {"20200101120000", "2020-01-01T12:00:00Z"},  // exact second
      {"2020-01-01", "2020-01-01T12:00:00Z"},      // the day: its newest
      {"2020-02-01", "2020-03-01T00:00:00Z"},      // closer after than before
      {"2019-01-01T00:00:00Z", "2020-01-01T00:00:00Z"},
      {"2030", "2021-01-01T00:00:00Z"},
      {"2020-01-31T00:00:00Z", "2020-01-01T12:00:00Z"},  // 29.5 days back beats 30 days on
      {"2020-07-16T12:00:00+02:00", "2020-03-01T00:00:00Z"},
  };
  for (const auto& c : cases) {
    DateSpan span;
    WarcFailure f;
    ASSERT_TRUE(ParseDateQuery(c.query, &span, &f)) << c.query;
    ArchivedResponse r;
    ASSERT_TRUE(o.archive->Find("http://h/m.swf", span, 1 << 20, &r, &f)) << f.reason;
    EXPECT_EQ(r.body, c.want) << c.query;
  }
  DateSpan span;
  WarcFailure f;
  for (const char* bad : {"2020-02-30", "20201301000000", "2020-01-01T25:00:00Z", "yesterday", "2020-01-01T10:00",
                          "202001011200", "2020-01-01T10:00:00.Z"}) {
    EXPECT_FALSE(ParseDateQuery(bad, &span, &f)) << bad;
    EXPECT_EQ(f.code, WarcError::kBadDateQuery) << bad;
  }
}

// Hostile archives: each one's error, what is still found, and no crash.
TEST_F(WarcTest, HostileArchivesFailClearly) {
  const std::string good = kPage;
  std::string cutGzip = GzipEach({good, good});
  cutGzip.resize(cutGzip.size() - 30);
  std::string badGzip = GzipEach({good, good});
  badGzip[badGzip.size() * 3 / 4] ^= 0x55;
  badGzip[badGzip.size() * 3 / 4 + 1] ^= 0x55;
  const std::string other = Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z", HttpResponseText(200, "abcdef"));
  const std::string bomb = std::string(8 << 20, '\0');
  WarcLimits small;
  small.maxRecordBytes = 1 << 20;
  small.maxHeaderBytes = 4096;
  const std::string revisitA = "WARC-Record-ID: <urn:a>\r\nWARC-Refers-To: <urn:b>\r\n";
  const std::string revisitB = "WARC-Record-ID: <urn:b>\r\nWARC-Refers-To: <urn:a>\r\n";
  struct Case {
    const char* name;
    std::string bytes;
    WarcLimits limits;
    WarcError openError;     // kNone: opens
    WarcError problem;       // kNone: no damage noted
    WarcError lookup;        // for http://h/x.swf; kNone: found
  } cases[] = {
      {"not an archive", "<html>hello</html>\n", {}, WarcError::kNotWarc, WarcError::kNone, WarcError::kNone},
      {"garbage gzip", "\x1f\x8b\x09garbage, not deflate", {}, WarcError::kBadCompression, WarcError::kNone, WarcError::kNone},
      {"cut record", good + good.substr(0, good.size() - 40), {}, WarcError::kNone, WarcError::kCutRecord, WarcError::kNotFound},
      {"cut gzip member", cutGzip, {}, WarcError::kNone, WarcError::kCutRecord, WarcError::kNotFound},
      {"damaged gzip member", badGzip, {}, WarcError::kNone, WarcError::kBadCompression, WarcError::kNotFound},
      {"length too long", good + WithLength(other, other.size() + 10), {}, WarcError::kNone, WarcError::kCutRecord,
       WarcError::kNotFound},
      {"length too short", good + WithLength(other, 20) + good, {}, WarcError::kNone, WarcError::kBadLength,
       WarcError::kNotFound},
      {"length not a number", good + "WARC/1.1\r\nWARC-Type: response\r\nContent-Length: 1e3\r\n\r\n", {},
       WarcError::kNone, WarcError::kBadLength, WarcError::kNotFound},
      {"huge header", good + "WARC/1.1\r\nX: " + std::string(10000, 'a') + "\r\n\r\n", small, WarcError::kNone,
       WarcError::kHeaderTooLarge, WarcError::kNotFound},
      {"record over the limit", GzipEach({good, Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z", bomb)}),
       small, WarcError::kNone, WarcError::kRecordTooLarge, WarcError::kNotFound},
      {"body bomb", GzipEach({Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z",
                                     HttpResponseText(200, Gzip(bomb), {"Content-Encoding: gzip"}))}),
       small, WarcError::kNone, WarcError::kNone, WarcError::kBodyTooLarge},
      {"bad date", Record("response", "http://h/x.swf", "2024-13-01", "x") + good, {}, WarcError::kNone,
       WarcError::kBadDate, WarcError::kNotFound},
      {"broken chunks", Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z",
                               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nshort"),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kBadBody},
      {"body shorter than announced", Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z",
                                             "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\nshort"),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kBadBody},
      {"unknown coding", Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z",
                                HttpResponseText(200, "x", {"Content-Encoding: zz"})),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kUnknownCoding},
      {"looping revisits", Record("revisit", "http://h/x.swf", "2024-01-01T00:00:00Z", "", revisitA) +
                               Record("revisit", "http://h/y.swf", "2024-01-01T00:00:00Z", "", revisitB),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kRevisitLoop},
      {"revisit of itself", Record("revisit", "http://h/x.swf", "2024-01-01T00:00:00Z", "",
                                   "WARC-Record-ID: <urn:s>\r\nWARC-Refers-To: <urn:s>\r\n"),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kRevisitLoop},
      {"revisit to nothing", Record("revisit", "http://h/x.swf", "2024-01-01T00:00:00Z", "", "WARC-Refers-To: <urn:z>\r\n"),
       {}, WarcError::kNone, WarcError::kNone, WarcError::kRevisitUnresolved},
  };
  for (const Case& c : cases) {
    Opened o = OpenBytes(dir_, c.bytes, c.limits);
    EXPECT_EQ(o.failure.code, c.openError) << c.name;
    if (c.openError != WarcError::kNone) {
      EXPECT_FALSE(o.archive) << c.name;
      EXPECT_FALSE(o.failure.reason.empty()) << c.name;
      continue;
    }
    ASSERT_TRUE(o.archive) << c.name << ": " << o.failure.reason;
    if (c.problem == WarcError::kNone) {
      EXPECT_TRUE(o.archive->problems().empty()) << c.name << ": " << o.archive->problems()[0].reason;
    } else {
      ASSERT_EQ(o.archive->problems().size(), 1u) << c.name;
      EXPECT_EQ(o.archive->problems()[0].code, c.problem) << c.name << ": " << o.archive->problems()[0].reason;
    }
    ArchivedResponse r;
    WarcFailure f;
    EXPECT_EQ(o.archive->Find("http://h/x.swf", std::nullopt, 1 << 20, &r, &f), c.lookup == WarcError::kNone) << c.name;
    EXPECT_EQ(f.code, c.lookup) << c.name << ": " << f.reason;
    // What stood before the damage stays usable.
    if (c.bytes.find("h.example/a.swf") != std::string::npos) {
      EXPECT_TRUE(o.archive->Find("http://h.example/a.swf", std::nullopt, 1 << 20, &r, &f)) << c.name << ": " << f.reason;
    }
  }
  // A missing file and a folder: nothing to index, and the text says which.
  for (const std::string& path : {dir_.str() + "/none.warc", dir_.str()}) {
    WarcFailure f;
    EXPECT_FALSE(WarcArchive::Open({path}, std::nullopt, {}, &f));
    EXPECT_EQ(f.code, WarcError::kCannotOpen);
    EXPECT_NE(f.reason.find(path), std::string::npos) << f.reason;
  }
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A body that inflates to 256 MiB is refused once past the limit, without ever being held.
TEST_F(WarcTest, BodyBombStaysWithinItsLimit) {
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 1, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
  const std::string zeros(1 << 20, '\0');
  std::string bomb(1 << 20, '\0');
  std::size_t used = 0;
  for (int i = 0; i < 256; ++i) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(bomb.data() + used);
      z.avail_out = static_cast<uInt>(bomb.size() - used);
      deflate(&z, i == 255 ? Z_FINISH : Z_NO_FLUSH);
      used = bomb.size() - z.avail_out;
    } while (z.avail_out == 0 && (bomb.resize(bomb.size() * 2), true));
  }
  deflateEnd(&z);
  bomb.resize(used);
  Opened o = OpenBytes(dir_, Gzip(Record("response", "http://h/x.swf", "2024-01-01T00:00:00Z",
                                         HttpResponseText(200, bomb, {"Content-Encoding: gzip"}))));
  ASSERT_TRUE(o.archive) << o.failure.reason;
  const long before = PeakKilobytes();
  ArchivedResponse r;
  WarcFailure f;
  EXPECT_FALSE(o.archive->Find("http://h/x.swf", std::nullopt, 8 << 20, &r, &f));
  EXPECT_EQ(f.code, WarcError::kBodyTooLarge);
  EXPECT_LT(PeakKilobytes() - before, 64 * 1024);
}

}  // namespace
}  // namespace trovex::warc

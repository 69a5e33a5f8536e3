// The web archive reader on arbitrary files: indexing and every look-up end in an answer or a
// failure with its text, within the limits given, never in a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_env.h"
#include "warc/warc_archive.h"

using namespace trovex;

namespace {

// The addresses the seeds use, and the first one the input names.
std::vector<std::string> Addresses(std::string_view data) {
  std::vector<std::string> out = {"http://h/a.swf", "http://h/b.swf", "http://h/page.html"};
  const std::size_t at = data.find("WARC-Target-URI: ");
  if (at != std::string_view::npos) {
    const std::string_view rest = data.substr(at + 17);
    out.emplace_back(rest.substr(0, rest.find('\r')));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  const int fd = ::memfd_create("warc", MFD_CLOEXEC);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) __builtin_trap();
  warc::WarcLimits limits;
  limits.maxHeaderBytes = 4096;
  limits.maxRecordBytes = 1 << 20;
  constexpr std::size_t kMaxBody = 1 << 20;
  warc::WarcFailure failure;
  auto archive = warc::WarcArchive::Open({"/proc/self/fd/" + std::to_string(fd)}, std::nullopt, limits, &failure);
  if (!archive) {
    if (failure.code == warc::WarcError::kNone || failure.reason.empty()) __builtin_trap();
  } else {
    for (const auto& problem : archive->problems())
      if (problem.reason.empty()) __builtin_trap();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& url : Addresses(text)) {
      warc::ArchivedResponse response;
      warc::WarcFailure f;
      if (archive->Find(url, std::nullopt, kMaxBody, &response, &f)) {
        if (response.body.size() > kMaxBody || response.status < 100) __builtin_trap();
      } else if (f.code == warc::WarcError::kNone || f.reason.empty()) {
        __builtin_trap();
      }
    }
  }
  ::close(fd);
  return 0;
}

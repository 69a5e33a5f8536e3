#include "pageloader/archive_sources.h"

#include <optional>

#include "platform/inet/network_source.h"
#include "platform/text/res_text.h"
#include "res/strings.h"
#include "warc/warc_archive.h"

namespace trovex::browser {

bool OpenArchives(const ArchiveChoice& choice, OpenedSources* sources, std::string* problem) {
  *sources = {};
  if (choice.files.empty()) return true;
  std::optional<warc::DateSpan> date;
  warc::WarcFailure failure;
  if (!choice.date.empty()) {
    warc::DateSpan span;
    if (!warc::ParseDateQuery(choice.date, &span, &failure)) {
      *problem = failure.reason;
      return false;
    }
    date = span;
  }
  std::unique_ptr<warc::WarcArchive> archive = warc::WarcArchive::Open(choice.files, date, {}, &failure);
  if (!archive) {
    *problem = failure.reason;
    return false;
  }
  for (const warc::WarcFailure& damage : archive->problems()) sources->warnings.push_back(damage.reason);
  sources->archive = std::move(archive);
  sources->pages = sources->archive;
  if (choice.fallback) {
    sources->network = std::make_shared<inet::NetworkSource>();
    sources->pages = std::make_shared<inet::FallbackSource>(*sources->archive, *sources->network);
  }
  return true;
}

int TakeArchiveOption(int argc, const char* const* argv, int* i, ArchiveChoice* choice, std::string* problem) {
  std::string name = argv[*i], value;
  bool hasValue = false;
  if (const std::size_t eq = name.find('='); eq != std::string::npos) {
    value = name.substr(eq + 1);
    name.resize(eq);
    hasValue = true;
  }
  if (name == "--warc-fallback" && !hasValue) {
    choice->fallback = true;
    return 1;
  }
  if (name != "--warc" && name != "--warc-date") return 0;
  if (!hasValue) {
    if (*i + 1 >= argc) {
      *problem = FormatResString(IDS_TROVEX_BROWSER_NEEDS_VALUE, name.c_str());
      return -1;
    }
    value = argv[++*i];
  }
  if (value.empty()) {
    *problem = FormatResString(IDS_TROVEX_BROWSER_NEEDS_VALUE, name.c_str());
    return -1;
  }
  if (name == "--warc")
    choice->files.push_back(value);
  else
    choice->date = value;
  return 1;
}

}  // namespace trovex::browser

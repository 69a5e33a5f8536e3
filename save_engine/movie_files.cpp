#include "save_engine/movie_files.h"

#include <set>
#include <string_view>

#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/fs/fs.h"
#include "platform/inet/url_resolve.h"
#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "platform/text/system_message.h"
#include "res/strings.h"
#include "save_engine/save_run.h"
#include "swf/swf_names.h"

namespace trovex {
namespace {

struct UrlParts {
  std::string origin;  // "scheme://host[:port]", lower case
  std::string host;
  std::string path;    // from the first "/" after the host, without query and fragment
};

bool SplitUrl(std::string_view url, UrlParts* out) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return false;
  const std::size_t end = std::min(url.find_first_of("?#", scheme + 3), url.size());
  std::size_t slash = url.find('/', scheme + 3);
  if (slash == std::string_view::npos || slash > end) slash = end;
  out->origin = AsciiToLower(url.substr(0, slash));
  out->host = out->origin.substr(scheme + 3);
  out->path = slash < end ? std::string(url.substr(slash, end - slash)) : "/";
  return true;
}

// A path segment as a file name: decoded, with what a name may not hold (separators included,
// so an escaped "/" cannot make a folder) replaced, and a run of dots never kept as it is.
std::string SafeSegment(std::string_view raw) {
  std::string name = PercentDecode(raw, EscapedNul::kKeep);
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  if (name.find_first_not_of('.') == std::string::npos) name.assign(name.size(), '_');
  return name;
}

std::string JoinSafe(std::string_view path, std::string prefix) {
  std::string out = std::move(prefix);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out += '/';
      out += SafeSegment(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The local path of a file: address (a local movie's files), "" for others.
std::string LocalPathOf(const std::string& address) {
  UrlParts parts;
  if (UrlScheme(address) != "file" || !SplitUrl(address, &parts)) return {};
  if (!parts.host.empty() && parts.host != "localhost") return {};
  std::string path;
  return PercentDecodeNoNul(parts.path, &path) ? path : std::string();
}

}  // namespace

const char* MovieFileStatusKey(MovieFileStatus status) {
  switch (status) {
    case MovieFileStatus::kSaved: return "saved";
    case MovieFileStatus::kMissing: return "missing";
    case MovieFileStatus::kFailed: return "failed";
    case MovieFileStatus::kSkipped: return "skipped";
    case MovieFileStatus::kCancelled: return "cancelled";
  }
  return "failed";
}

unsigned MovieFileStatusText(MovieFileStatus status) {
  switch (status) {
    case MovieFileStatus::kSaved: return IDS_STATUS_DONE;
    case MovieFileStatus::kMissing: return IDS_TROVEX_FILE_MISSING;
    case MovieFileStatus::kFailed: return IDS_STATUS_FAILED;
    case MovieFileStatus::kSkipped: return IDS_TROVEX_FILE_SKIPPED;
    case MovieFileStatus::kCancelled: return IDS_STATUS_CANCELLED;
  }
  return IDS_STATUS_FAILED;
}

std::string RelativeFilePath(const std::string& address, const std::string& resolutionBase) {
  UrlParts file, base;
  if (!SplitUrl(address, &file) || file.path.empty() || file.path.back() == '/') return {};
  if (SplitUrl(resolutionBase, &base) && base.origin == file.origin) {
    const std::string folder = base.path.substr(0, base.path.rfind('/') + 1);
    if (file.path.starts_with(folder)) return JoinSafe(std::string_view(file.path).substr(folder.size()), "");
  }
  // Elsewhere on the server, or on another: kept whole in a folder named after the host.
  return JoinSafe(file.path, SafeSegment(file.host.empty() ? "localhost" : file.host));
}

MovieFileOutcome SaveRun::SaveMovieFile(int nItem, const std::string& address, const std::string& relative,
                                        const std::string& folder) {
  MovieFileOutcome outcome;
  outcome.address = address;
  outcome.target = folder + "/" + relative;
  const std::string directory = ParentOf(outcome.target);
  if (!PathIsDirectoryA(directory.c_str())) {
    if (!CreateDirectoryPath(directory)) {
      char system[256];
      FormatSystemError(system, sizeof system);
      outcome.error = FormatResString(IDS_SAVE_FAILED, relative.c_str(), system);
      return outcome;
    }
  } else if (directory != folder) {
    posix::SweepStaleTemporaries(directory);
  }
  SWFFileInfo file;
  file.strURL = address;
  file.strLocalFile = LocalPathOf(address);
  file.strFileName = relative.substr(relative.rfind('/') + 1);
  const bool existed = PathFileExistsA(outcome.target.c_str()) != FALSE;
  if (!Settle(outcome.target, file)) {
    outcome.status = MovieFileStatus::kSkipped;
    return outcome;
  }
  const bool replace = ReplacesOnWrite(existed);
  observer_.OnTransferStart(nItem, relative);
  if (!file.strLocalFile.empty()) {
    if (CopyRow(file, outcome.target, replace)) {
      outcome.status = MovieFileStatus::kSaved;
    } else {
      char system[256];
      FormatSystemError(system, sizeof system);
      outcome.status = GetLastError() == ERROR_FILE_NOT_FOUND ? MovieFileStatus::kMissing : MovieFileStatus::kFailed;
      outcome.error = FormatResString(IDS_SAVE_FAILED, relative.c_str(), system);
    }
  } else {
    Transfer(nItem, address, outcome.target, replace, [&](CSWFDownloadSession& session, BOOL ok) {
      if (ok) {
        outcome.status = MovieFileStatus::kSaved;
        if (!session.GetSavedPath().empty()) outcome.target = session.GetSavedPath();
      } else if (session.IsStopped()) {
        outcome.status = MovieFileStatus::kCancelled;
      } else {
        // The server answered, but has no such file: the movie does without it.
        const DWORD code = session.GetStatusCode();
        outcome.status = code >= 400 ? MovieFileStatus::kMissing : MovieFileStatus::kFailed;
        outcome.error = code >= 400 ? FormatResString(IDS_TROVEX_FILE_HTTP_STATUS, static_cast<int>(code))
                                    : session.GetErrorText();
      }
    });
  }
  if (outcome.status == MovieFileStatus::kSaved) {
    CFileStatus status;
    if (GetFileStatus(outcome.target.c_str(), status)) outcome.bytes = static_cast<std::int64_t>(status.m_size);
  }
  return outcome;
}

void SaveRun::SaveMovieFiles(const SaveRunItem& item, const std::string& target) {
  const SWFFileInfo& info = *item.pInfo;
  // A local movie is listed under its path; the finder reads addresses.
  const std::string movieAddress =
      UrlScheme(info.strURL).empty() ? ResolveUrl("file:///", info.strURL) : info.strURL;
  const swf::EmbedParams params{info.flashVars, info.base, info.pageAddress};
  const std::string base = swf::ResolutionBase(movieAddress, params);
  const std::string folder = ParentOf(target);

  auto saveOnce = [&](const std::string& address) -> const MovieFileOutcome* {
    const std::string relative = RelativeFilePath(address, base);
    if (relative.empty()) return nullptr;
    auto key = std::make_pair(address, folder + "/" + relative);
    auto it = filesDone_.find(key);
    if (it == filesDone_.end()) {
      if (stopRequested_) return nullptr;
      it = filesDone_.emplace(std::move(key), SaveMovieFile(item.nItem, address, relative, folder)).first;
    }
    return &it->second;
  };
  // Each movie it loads is saved first and read from its saved copy, for what it names in turn.
  const swf::Fetch fetch = [&](const std::string& address) -> swf::ByteSource {
    if (address == movieAddress) return swf::FileSource(target);
    const MovieFileOutcome* saved = saveOnce(address);
    if (!saved || saved->status != MovieFileStatus::kSaved) return {};
    return swf::FileSource(saved->target);
  };
  const swf::NamesInTurn names = swf::FindNamesInTurn(movieAddress, params, fetch);
  for (const swf::FileInTurn& file : names.files) {
    const MovieFileOutcome* done = saveOnce(file.address);
    MovieFileOutcome outcome;
    if (done) {
      outcome = *done;
    } else if (stopRequested_) {
      outcome.address = file.address;
      outcome.status = MovieFileStatus::kCancelled;
    } else {
      continue;  // names no file
    }
    outcome.depth = file.depth;
    observer_.OnMovieFile(item.nItem, outcome);
  }
}

}  // namespace trovex

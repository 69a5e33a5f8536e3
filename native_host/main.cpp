// trovex-native-host: the system serving Chromium and Firefox. The browser starts it for the
// extension and sends messages (native_messaging.h); for each request it builds the document
// model from the page's snapshot, creates the automation object by its ProgID through COM
// activation, as the script page does, and calls GetSWFFile with the top-level document. The
// movies are fetched with the browser's cookies, from a jar private to this run.
//
//   trovex-native-host --register     writes the user's manifests for the three browsers and
//                                     registers the module when it is not registered yet
//   trovex-native-host --unregister   removes the user's manifests
//   trovex-native-host --write-manifest chromium|firefox DIR HOSTPATH   (used by the install)
//
// Started by a browser (any other arguments: the extension's origin or the manifest's path),
// it serves requests until the browser closes the stream. Each request runs on its own: a
// second request to another host process opens a second Save dialog.
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/dialog.h>
#include <wx/weakref.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "framework/toolkit_language.h"
#include "native_host/host_manifests.h"
#include "native_host/native_messaging.h"
#include "pagemodel/document_model.h"
#include "pagemodel/snapshot.h"
#include "platform/com/activation.h"
#include "platform/com/trovex_object.h"
#include "platform/fs/atomic_file.h"
#include "platform/text/unicode.h"
#include "res/strings.h"

namespace {

using namespace trovex;
using namespace trovex::nativehost;

constexpr const char* kUsage =
    "usage: trovex-native-host --register | --unregister\n"
    "  --register    lets Chromium, Chrome and Firefox start this host for the SWF Zalmic Trovex\n"
    "                extension (writes the current user's native messaging manifests) and\n"
    "                registers the module when it is not registered yet\n"
    "  --unregister  removes those manifests\n"
    "  Started by a browser, it reads the extension's messages on standard input.\n";

void Log(const std::string& line) { std::fprintf(stderr, "trovex-native-host: %s\n", line.c_str()); }

std::string OwnPath() {
  char* real = ::realpath("/proc/self/exe", nullptr);
  if (!real) return {};
  std::string out = real;
  std::free(real);
  return out;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// The module: installed beside the programs' lib folder, or in the build tree's module folder.
std::string FindModule() {
  const std::string bin = FolderOf(OwnPath());
  for (const std::string& candidate : {bin + "/../lib/kelvora-swf-trovex/libswftrovex.so",
                                       bin + "/../module/libswftrovex.so"}) {
    struct stat st{};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      char* real = ::realpath(candidate.c_str(), nullptr);
      std::string out = real ? real : candidate;
      std::free(real);
      return out;
    }
  }
  return {};
}

bool ModuleRegistered() {
  CLSID clsid{};
  return SUCCEEDED(CLSIDFromProgID(Utf8ToUtf16(kTrovexProgID).c_str(), &clsid));
}

int RegisterModule() {
  const std::string module = FindModule();
  if (module.empty()) {
    Log("the module libswftrovex.so is not installed beside this program; register it with trovex-regsvr");
    return 1;
  }
  const ServerEntryCall call = CallServerEntry(module, false);
  if (call.step != ServerEntryCall::kCalled) {
    Log("cannot load " + module + ": " + (call.step == ServerEntryCall::kNotLoaded ? call.strWhy : "no DllRegisterServer"));
    return 1;
  }
  if (FAILED(call.hr)) {
    Log("registering " + module + " failed (" + HResultText(call.hr) + ")");
    return 1;
  }
  std::printf("registered the module %s\n", module.c_str());
  return 0;
}

int Register() {
  const std::string self = OwnPath();
  std::string error;
  if (self.empty() || WriteUserManifests(self, &error) != 0) {
    Log("cannot write the browsers' manifests: " + (self.empty() ? "own path unknown" : error));
    return 1;
  }
  for (const ManifestPlace& place : UserManifestPlaces()) std::printf("wrote %s\n", place.strPath.c_str());
  if (!ModuleRegistered()) return RegisterModule();
  return 0;
}

int Unregister() {
  std::string error;
  if (RemoveUserManifests(&error) != 0) {
    Log("cannot remove the browsers' manifests: " + error);
    return 1;
  }
  return 0;
}

int WriteManifest(const std::string& kind, const std::string& dir, const std::string& hostPath) {
  if ((kind != "chromium" && kind != "firefox") || hostPath.empty() || hostPath[0] != '/') {
    Log("--write-manifest wants chromium or firefox, a folder and the host's absolute path");
    return 2;
  }
  const std::string text = ManifestJson(kind == "chromium" ? BrowserKind::kChromium : BrowserKind::kFirefox, hostPath);
  const std::string path = dir + "/" + kHostName + ".json";
  int e = posix::MakeFolders(dir);
  if (e == 0) e = posix::ReplaceFileContents(path, text.data(), text.size(), 0644);
  if (e != 0) {
    Log(path + ": " + std::strerror(e));
    return 1;
  }
  return 0;
}

// The application object: the Save dialog and the message box of the module come to the front
// when they appear, since the browser, not this process, had the user's attention.
class HostApp : public wxApp {
 public:
  int FilterEvent(wxEvent& event) override {
    if (event.GetEventType() == wxEVT_SHOW && static_cast<wxShowEvent&>(event).IsShown()) {
      // Dialogs only: the module also shows helper windows of its own (the preview's engine).
      if (auto* window = wxDynamicCast(event.GetEventObject(), wxDialog)) {
        wxWeakRef<wxDialog> ref(window);
        CallAfter([ref] {
          if (!ref) return;
          ref->Raise();
          ref->SetFocus();
        });
      }
    }
    return Event_Skip;
  }
};

// The private jar's names for a signal handler, which may only use what is already there.
char g_jarFile[4096], g_jarLock[4096], g_jarDir[4096];
constexpr int kJarSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void RemoveJarFiles() {
  if (g_jarFile[0]) ::unlink(g_jarFile);
  if (g_jarLock[0]) ::unlink(g_jarLock);
  if (g_jarDir[0]) ::rmdir(g_jarDir);
}

// A browser ends its host with a signal while its dialog is open: the browser's cookies must
// not stay on disk.
void RemoveJarAndDie(int sig) {
  RemoveJarFiles();
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

bool CopyName(char (&to)[4096], const std::string& from) {
  if (from.size() >= sizeof to) return false;
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

// The private jar of one request, removed when the request ends.
class PrivateJar {
 public:
  bool Create(const std::vector<std::string>& lines, std::string* error) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* tmp = std::getenv("TMPDIR");
    std::string base = runtime && runtime[0] == '/' ? runtime : (tmp && tmp[0] == '/' ? tmp : "/tmp");
    std::string pattern = base + "/trovex-native-host-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      *error = pattern + ": " + std::strerror(errno);
      return false;
    }
    dir_ = pattern;
    path_ = dir_ + "/cookies.txt";
    if (CopyName(g_jarFile, path_) && CopyName(g_jarLock, path_ + ".lock") && CopyName(g_jarDir, dir_))
      for (int sig : kJarSignals) ::signal(sig, RemoveJarAndDie);
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const std::string& line : lines) text += line + "\n";
    if (int e = posix::ReplaceFileContents(path_, text.data(), text.size(), 0600)) {
      *error = path_ + ": " + std::strerror(e);
      return false;
    }
    ::setenv("TROVEX_COOKIE_JAR", path_.c_str(), 1);
    return true;
  }
  ~PrivateJar() {
    if (dir_.empty()) return;
    ::unsetenv("TROVEX_COOKIE_JAR");
    for (int sig : kJarSignals) ::signal(sig, SIG_DFL);
    RemoveJarFiles();
    g_jarFile[0] = g_jarLock[0] = g_jarDir[0] = '\0';
  }

 private:
  std::string dir_, path_;
};

class Host {
 public:
  explicit Host(char** argv) : argv_(argv) {}

  // The answer to one message.
  std::string Serve(const std::string& body) {
    Request request;
    std::string error;
    if (!ParseRequest(body, &request, &error)) {
      Log("refused a request: " + error);
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_REQUEST, error.c_str()));
    }
    for (const std::string& skipped : request.skipped) Log(skipped);
    std::vector<std::string> cuts;
    pagemodel::SessionPtr session = pagemodel::ReadSnapshot(request.strSnapshot, pagemodel::SnapshotLimits{}, &error, &cuts);
    for (const std::string& cut : cuts) Log(cut);
    if (!session) {
      Log("refused a snapshot: " + error);
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_SNAPSHOT, error.c_str()));
    }
    PrivateJar jar;
    if (!jar.Create(request.cookieLines, &error)) {
      Log("cannot keep the cookies: " + error);
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_COOKIES_FAILED, error.c_str()));
    }
    if (!StartToolkit()) {
      Log("cannot open a window: the toolkit did not start (is DISPLAY set?)");
      return AnswerError(LoadResStringUtf8(IDS_TROVEX_HOST_NO_DISPLAY));
    }
    ComPtr<IWebBrowser2> browser = pagemodel::BrowserOf(session);
    ComPtr<IHTMLDocument2> document = browser ? pagemodel::DocumentOf(browser.Get()) : nullptr;
    long result = 1;
    GetSWFFileStep step = GetSWFFileStep::kDone;
    std::string failure;
    HRESULT hr = GetSWFFileByProgId(document.Get(), &result, &step, &failure);
    document.Reset();
    browser.Reset();
    CoFreeUnusedLibraries();
    if (step == GetSWFFileStep::kCreate) {
      Log("the module is not available (" + Hex(hr) + ") " + failure + "; run trovex-native-host --register");
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_MODULE_UNAVAILABLE, Hex(hr).c_str()));
    }
    if (FAILED(hr)) {
      Log("GetSWFFile failed (" + Hex(hr) + ") " + failure);
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_GETSWFFILE_FAILED, Hex(hr).c_str(), failure.c_str()));
    }
    return AnswerResult(result);
  }

 private:
  static std::string Hex(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return code;
  }

  bool StartToolkit() {
    if (toolkit_) return toolkit_->IsOk();
    PrepareToolkitLanguage();
    wxApp::SetInstance(new HostApp);
    // The browser's arguments (an origin, a manifest path) are not the toolkit's.
    int argc = 1;
    toolkit_ = std::make_unique<wxInitializer>(argc, argv_);
    // The toolkit sets the locale from the environment again.
    if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
    if (!toolkit_->IsOk()) return false;
    // The file chooser and the menus the module shows look as they do from the browser window.
    UseTraditionalChineseToolkit();
    return true;
  }

  char** argv_;
  std::unique_ptr<wxInitializer> toolkit_;
};

int ServeBrowser(char** argv) {
  // A browser that went away while a dialog was open must not kill the host at its answer.
  ::signal(SIGPIPE, SIG_IGN);
  // Standard output carries the messages alone: whatever a library prints goes to the log.
  const int messages = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (messages < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    Log("cannot set up standard output");
    return 1;
  }
  Host host(argv);
  for (;;) {
    ReadResult in = ReadMessage(STDIN_FILENO);
    if (in.status == ReadStatus::kEnd) return 0;
    if (in.status == ReadStatus::kBroken) {
      // The stream is out of step: answer once and stop, nothing after this can be trusted.
      Log("refused a message: " + in.error);
      WriteMessage(messages, AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_MESSAGE, in.error.c_str())));
      return 1;
    }
    if (!WriteMessage(messages, host.Serve(in.body))) {
      Log("cannot answer the browser");
      return 1;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  if (argc >= 2) {
    const std::string arg = argv[1];
    if (arg == "--register" && argc == 2) return Register();
    if (arg == "--unregister" && argc == 2) return Unregister();
    if (arg == "--write-manifest" && argc == 5) return WriteManifest(argv[2], argv[3], argv[4]);
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.rfind("--", 0) == 0 && arg.rfind("--parent-window", 0) != 0) {
      std::fprintf(stderr, "trovex-native-host: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  return ServeBrowser(argv);
}

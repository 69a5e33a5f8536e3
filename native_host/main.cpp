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
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/evtloopsrc.h>
#include <wx/weakref.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
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
#include "platform/text/res_text.h"
#include "platform/text/text.h"
#include "res/images.h"
#include "platform/text/unicode.h"
#include "res/strings.h"
#include "res/templates.h"

namespace {

using namespace trovex;
using namespace trovex::nativehost;

// Lines for the browser's log and the terminal, in the locale's code page.
void Log(const std::string& line) { std::fputs(FormatResString(IDS_TROVEX_HOST_LOG_LINE, line.c_str()).c_str(), stderr); }

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
    Log(LoadResString(IDS_TROVEX_HOST_NO_MODULE));
    return 1;
  }
  const ServerEntryCall call = CallServerEntry(module, false);
  if (call.step != ServerEntryCall::kCalled) {
    Log(call.step == ServerEntryCall::kNotLoaded
            ? FormatResString(IDS_TROVEX_COM_MODULE_NOT_LOADED, module.c_str(), call.strWhy.c_str())
            : FormatResString(IDS_TROVEX_HOST_REGISTER_FAILED, module.c_str(), "DllRegisterServer"));
    return 1;
  }
  const HRESULT hr = call.hr;
  if (FAILED(hr)) {
    Log(FormatResString(IDS_TROVEX_HOST_REGISTER_FAILED, module.c_str(), HResultText(hr).c_str()));
    return 1;
  }
  std::puts(FormatResString(IDS_TROVEX_HOST_REGISTERED, module.c_str()).c_str());
  return 0;
}

int Register() {
  const std::string self = OwnPath();
  std::string error;
  if (self.empty() || WriteUserManifests(self, &error) != 0) {
    if (self.empty()) error = LoadResString(IDS_TROVEX_HOST_OWN_PATH_UNKNOWN);
    Log(FormatResString(IDS_TROVEX_HOST_CANNOT_WRITE_MANIFESTS, error.c_str()));
    return 1;
  }
  for (const ManifestPlace& place : UserManifestPlaces())
    std::puts(FormatResString(IDS_TROVEX_HOST_WROTE, place.strPath.c_str()).c_str());
  if (!ModuleRegistered()) return RegisterModule();
  return 0;
}

int Unregister() {
  std::string error;
  if (RemoveUserManifests(&error) != 0) {
    Log(FormatResString(IDS_TROVEX_HOST_CANNOT_REMOVE_MANIFESTS, error.c_str()));
    return 1;
  }
  return 0;
}

int WriteManifest(const std::string& kind, const std::string& dir, const std::string& hostPath) {
  if ((kind != "chromium" && kind != "firefox") || hostPath.empty() || hostPath[0] != '/') {
    Log(LoadResString(IDS_TROVEX_HOST_WRITE_MANIFEST_USAGE));
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

// Brings the open dialogs to the front (a second request for the same tab).
void RaiseDialogs() {
  for (wxWindow* window : wxTopLevelWindows)
    if (auto* dialog = wxDynamicCast(window, wxDialog); dialog && dialog->IsShown()) dialog->Raise();
}

// The application object: the Save dialog and the message box of the module come to the front
// when they appear, since the browser, not this process, had the user's attention. With no
// browser window to be transient for, they stay above other windows, so a click on the page
// does not bury them, and carry the product's icon.
class HostApp : public wxApp {
 public:
  int FilterEvent(wxEvent& event) override {
    // Realized, not yet shown: what the window system reads when the window maps.
    if (event.GetEventType() == wxEVT_CREATE) {
      if (auto* dialog = wxDynamicCast(event.GetEventObject(), wxDialog)) {
        dialog->SetWindowStyleFlag(dialog->GetWindowStyleFlag() | wxSTAY_ON_TOP);
        dialog->SetIcons(LoadResIconBundle(IDI_BUTTON));
      }
    }
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
    return true;
  }
  const std::string& Path() const { return path_; }
  ~PrivateJar() {
    if (dir_.empty()) return;
    for (int sig : kJarSignals) ::signal(sig, SIG_DFL);
    RemoveJarFiles();
    g_jarFile[0] = g_jarLock[0] = g_jarDir[0] = '\0';
  }

 private:
  std::string dir_, path_;
};

// While a dialog runs, the browser's messages are read from its event loop: a request to raise
// the dialog is done at once; anything else (the stream's end) waits for the dialog to close.
class MessageWatch : public wxEventLoopSourceHandler {
 public:
  explicit MessageWatch(std::deque<ReadResult>* pending) : pending_(pending) {
    source_.reset(wxEventLoopBase::AddSourceForFD(STDIN_FILENO, this, wxEVENT_SOURCE_INPUT | wxEVENT_SOURCE_EXCEPTION));
  }
  void OnReadWaiting() override {
    if (!source_ || !pending_->empty()) return;
    ReadResult in = ReadMessage(STDIN_FILENO);
    if (in.status == ReadStatus::kMessage && IsRaiseRequest(in.body)) {
      RaiseDialogs();
      return;
    }
    pending_->push_back(std::move(in));
    // An ended stream stays readable: stop watching it (the loop allows it from here).
    source_.reset();
  }
  void OnWriteWaiting() override {}
  void OnExceptionWaiting() override { OnReadWaiting(); }

 private:
  std::deque<ReadResult>* pending_;
  std::unique_ptr<wxEventLoopSource> source_;
};

class Host {
 public:
  // The next message: one read while a dialog ran, else from the stream. A request to raise a
  // dialog that is gone is no request.
  ReadResult Next() {
    for (;;) {
      ReadResult in;
      if (!pending_.empty()) {
        in = std::move(pending_.front());
        pending_.pop_front();
      } else {
        in = ReadMessage(STDIN_FILENO);
      }
      if (in.status != ReadStatus::kMessage || !IsRaiseRequest(in.body)) return in;
    }
  }

  // The answer to one message.
  std::string Serve(const std::string& body) {
    Request request;
    std::string error;
    if (!ParseRequest(body, &request, &error)) {
      Log(FormatResString(IDS_TROVEX_HOST_LOG_REFUSED_REQUEST, error.c_str()));
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_REQUEST, error.c_str()));
    }
    for (const std::string& skipped : request.skipped) Log(skipped);
    std::vector<std::string> cuts;
    pagemodel::SessionPtr session = pagemodel::ReadSnapshot(request.strSnapshot, pagemodel::SnapshotLimits{}, &error, &cuts);
    for (const std::string& cut : cuts) Log(cut);
    if (!session) {
      Log(FormatResString(IDS_TROVEX_HOST_LOG_REFUSED_SNAPSHOT, error.c_str()));
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_SNAPSHOT, error.c_str()));
    }
    PrivateJar jar;
    if (!jar.Create(request.cookieLines, &error)) {
      Log(FormatResString(IDS_TROVEX_HOST_COOKIES_FAILED, error.c_str()));
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_COOKIES_FAILED, error.c_str()));
    }
    if (!StartToolkit()) {
      Log(LoadResString(IDS_TROVEX_HOST_NO_DISPLAY));
      return AnswerError(LoadResStringUtf8(IDS_TROVEX_HOST_NO_DISPLAY));
    }
    ComPtr<IWebBrowser2> browser = pagemodel::BrowserOf(session);
    ComPtr<IHTMLDocument2> document = browser ? pagemodel::DocumentOf(browser.Get()) : nullptr;
    long result = 1;
    GetSWFFileStep step = GetSWFFileStep::kDone;
    std::string failure;
    MessageWatch watch(&pending_);
    HRESULT hr = GetSWFFileByProgId(document.Get(), &result, &step, &failure, jar.Path());
    document.Reset();
    browser.Reset();
    CoFreeUnusedLibraries();
    if (step == GetSWFFileStep::kCreate) {
      Log(FormatResString(IDS_TROVEX_HOST_LOG_MODULE_UNAVAILABLE, HResultText(hr).c_str(), failure.c_str()));
      return AnswerError(LoadResStringUtf8(IDS_TROVEX_HOST_MODULE_UNAVAILABLE));
    }
    if (FAILED(hr)) {
      Log(FormatResString(IDS_TROVEX_HOST_LOG_MODULE_UNAVAILABLE, HResultText(hr).c_str(), failure.c_str()));
      return AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_GETSWFFILE_FAILED, failure.c_str()));
    }
    return AnswerResult(result);
  }

 private:
  bool StartToolkit() {
    if (toolkit_) return toolkit_->IsOk();
    PrepareToolkitLanguage();
    auto* app = new HostApp;
    // The window system's name for the dialogs' owner, in place of the program's file name.
    app->SetAppName("kelvora-swf-trovex");
    app->SetAppDisplayName(wxString::FromUTF8(LoadResStringUtf8(IDS_APP_TITLE)));
    wxApp::SetInstance(app);
    // The browser's arguments (an origin, a manifest path) are not the toolkit's; the first names
    // the windows' owner to the window system (its class, Wayland's application id).
    static char name[] = "kelvora-swf-trovex";
    static char* args[] = {name, nullptr};
    int argc = 1;
    toolkit_ = std::make_unique<wxInitializer>(argc, args);
    // The toolkit sets the locale from the environment again.
    SetUpProgramLocale();
    if (!toolkit_->IsOk()) return false;
    // The file chooser and the menus the module shows look as they do from the browser window.
    UseTraditionalChineseToolkit();
    return true;
  }

  std::unique_ptr<wxInitializer> toolkit_;
  std::deque<ReadResult> pending_;
};

int ServeBrowser() {
  // A browser that went away while a dialog was open must not kill the host at its answer.
  ::signal(SIGPIPE, SIG_IGN);
  // Standard output carries the messages alone: whatever a library prints goes to the log.
  const int messages = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (messages < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    Log(LoadResString(IDS_TROVEX_HOST_LOG_NO_STDOUT));
    return 1;
  }
  Host host;
  for (;;) {
    ReadResult in = host.Next();
    if (in.status == ReadStatus::kEnd) return 0;
    if (in.status == ReadStatus::kBroken) {
      // The stream is out of step: answer once and stop, nothing after this can be trusted.
      Log(FormatResString(IDS_TROVEX_HOST_LOG_REFUSED_MESSAGE, in.error.c_str()));
      WriteMessage(messages, AnswerError(FormatResStringUtf8(IDS_TROVEX_HOST_BAD_MESSAGE, in.error.c_str())));
      return 1;
    }
    if (!WriteMessage(messages, host.Serve(in.body))) {
      Log(LoadResString(IDS_TROVEX_HOST_LOG_CANNOT_ANSWER));
      return 1;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  SetUpProgramLocale();
  if (argc >= 2) {
    const std::string arg = argv[1];
    if (arg == "--register" && argc == 2) return Register();
    if (arg == "--unregister" && argc == 2) return Unregister();
    if (arg == "--write-manifest" && argc == 5) return WriteManifest(argv[2], argv[3], argv[4]);
    if (arg == "--version" && argc == 2) return PrintProgramVersion("trovex-native-host");
    if (arg == "--help" || arg == "-h") {
      std::fputs(LoadResString(IDS_TROVEX_HOST_USAGE).c_str(), stdout);
      return 0;
    }
    if (arg.rfind("--", 0) == 0 && arg.rfind("--parent-window", 0) != 0) {
      Log(FormatResString(IDS_TROVEX_HOST_UNKNOWN_OPTION, arg.c_str()));
      std::fputs(LoadResString(IDS_TROVEX_HOST_USAGE).c_str(), stderr);
      return 2;
    }
  }
  // A browser always gives its origin or manifest and a pipe: someone typed the name.
  if (argc < 2 && ::isatty(STDIN_FILENO)) {
    std::fputs(LoadResString(IDS_TROVEX_HOST_ON_TERMINAL).c_str(), stderr);
    return 2;
  }
  return ServeBrowser();
}

#include "preview/player_engine.h"

#include <wx/app.h>
#include <wx/filesys.h>
#include <wx/frame.h>
#include <wx/stream.h>
#include <wx/webview.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "framework/ui_thread.h"
#include "framework/web_engine.h"
#include "framework/window_manager.h"
#include "preview/movie_source.h"
#include "preview/player_files.h"
#include "preview/player_page.h"

namespace trovex {
namespace {

// Serves shared bytes without copying them. The toolkit reads a response whole at once and then
// never frees the file object, so the bytes are let go as soon as the last one has been read.
class SharedBytesStream : public wxInputStream {
 public:
  explicit SharedBytesStream(std::shared_ptr<const std::string> bytes)
      : bytes_(std::move(bytes)), size_(bytes_->size()) {}
  wxFileOffset GetLength() const override { return static_cast<wxFileOffset>(size_); }
  size_t GetSize() const override { return size_; }

 protected:
  size_t OnSysRead(void* buffer, size_t size) override {
    if (!bytes_ || pos_ >= size_) {
      bytes_.reset();
      m_lasterror = wxSTREAM_EOF;
      return 0;
    }
    const size_t n = std::min(size, size_ - pos_);
    std::memcpy(buffer, bytes_->data() + pos_, n);
    pos_ += n;
    if (pos_ >= size_) bytes_.reset();
    return n;
  }
  wxFileOffset OnSysTell() const override { return static_cast<wxFileOffset>(pos_); }

 private:
  std::shared_ptr<const std::string> bytes_;
  size_t size_;
  size_t pos_ = 0;
};

// Holds the view while no control shows it. Never shown, and never keeps the program running.
class ParkingFrame : public wxFrame {
 public:
  ParkingFrame()
      : wxFrame(nullptr, wxID_ANY, wxString(), wxPoint(0, 0), wxSize(320, 240),
                wxFRAME_NO_TASKBAR | wxFRAME_TOOL_WINDOW | wxBORDER_NONE) {}
  bool ShouldPreventAppExit() const override { return false; }
};

std::string MovieUrl(long id) {
  return std::string(kPlayerOrigin) + "/movie/" + std::to_string(id) + "/movie.swf";
}

}  // namespace

// The view may hand a request over after its engine went (the web engine lets go of views
// lazily): then there is nothing to serve.
class PlayerSchemeHandler : public wxWebViewHandler {
 public:
  explicit PlayerSchemeHandler(PlayerEngine& engine)
      : wxWebViewHandler(kPlayerScheme), engine_(&engine), alive_(engine.Lifetime()) {}
  wxFSFile* GetFile(const wxString& uri) override {
    const std::string url = uri.utf8_string();
    const std::string prefix = std::string(kPlayerOrigin) + "/";
    if (alive_.expired() || url.compare(0, prefix.size(), prefix) != 0) return nullptr;
    std::string path = url.substr(prefix.size());
    path = path.substr(0, path.find_first_of("?#"));
    std::string mime;
    std::shared_ptr<const std::string> body = engine_->Serve(path, mime);
    if (!body) return nullptr;
    return new wxFSFile(new SharedBytesStream(body), uri, mime, wxString(), wxDateTime::Now());
  }

 private:
  PlayerEngine* engine_;
  std::weak_ptr<const void> alive_;
};

PlayerEngine::PlayerEngine(std::optional<std::filesystem::path> playerDir) : playerDir_(std::move(playerDir)) {}

PlayerEngine::~PlayerEngine() {
  *abort_ = true;
  // A fetch ends soon after its abort flag is set; its result finds the parking frame gone.
  for (Worker& w : workers_) w.thread.join();
  if (view_ && parking_ && view_->GetParent() != parking_) view_->Reparent(parking_);
  delete parking_.get();  // and the view with it
}

void PlayerEngine::ReapWorkers() {
  std::erase_if(workers_, [](Worker& w) {
    if (!w.done->load()) return false;
    w.thread.join();
    return true;
  });
}

wxFrame& PlayerEngine::Parking() {
  if (!parking_) parking_ = new ParkingFrame;
  return *parking_;
}

bool PlayerEngine::IsUnavailable() const {
  return unavailable_ || !wxWebView::IsBackendAvailable(wxWebViewBackendDefault);
}

void PlayerEngine::WarmUp() {
  if (scheduled_ || !wxTheApp) return;
  scheduled_ = true;
  std::weak_ptr<int> alive = alive_;
  RunOnUiThread([this, alive] {
    if (alive.lock()) CreateView();
  });
}

void PlayerEngine::CreateView() {
  if (view_ || unavailable_) return;
  if (!playerDir_) playerDir_ = FindPlayerDir();
  if (!wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) {
    unavailable_ = true;
    return;
  }
  // Hosts that did not prepare the engine at start (a view of theirs may come first, though).
  PrepareWebEngine();
  view_ = wxWebView::New(&Parking(), wxID_ANY, wxWebViewDefaultURLStr, wxDefaultPosition, wxSize(320, 240));
  if (view_) view_->DisableFocusFromKeyboard();  // no Tab stop that shows nothing to type into
  if (!view_) {
    unavailable_ = true;
    return;
  }
  SetPreferredLanguages(EngineViewOf(view_));
  RouteEscapeToTopLevel(view_);  // Escape in the playing preview closes the dialog
  view_->EnableContextMenu(false);
  view_->RegisterHandler(wxSharedPtr<wxWebViewHandler>(new PlayerSchemeHandler(*this)));
  // The page reports through its title: the toolkit's script message channel runs a script
  // synchronously while the page is still loading, which can stall here.
  view_->Bind(wxEVT_WEBVIEW_TITLE_CHANGED, [this](wxWebViewEvent& e) { OnMessage(e.GetString().utf8_string()); });
  view_->Bind(wxEVT_WEBVIEW_NAVIGATING, [](wxWebViewEvent& e) {
    // The page never leaves our scheme: a movie's getURL and links go nowhere.
    if (!e.GetURL().StartsWith(wxString(kPlayerScheme) + ":")) e.Veto();
  });
  view_->Bind(wxEVT_WEBVIEW_NEWWINDOW, [](wxWebViewEvent&) {});
  view_->Bind(wxEVT_WEBVIEW_LOADED, &PlayerEngine::OnLoaded, this);
  view_->Hide();
  if (host_) FitToHost();
  view_->LoadURL(wxString(kPlayerOrigin) + "/index.html");
}

void PlayerEngine::OnLoaded(wxWebViewEvent& event) {
  if (!event.GetURL().StartsWith(kPlayerOrigin) || pageReady_) return;
  pageReady_ = true;
  FlashProperties defaults;
  view_->RunScriptAsync("trovex.warm(" + wxString::FromUTF8(PlayerConfigJson(defaults)) + ");");
  for (const std::string& js : pending_) view_->RunScriptAsync(wxString::FromUTF8(js));
  pending_.clear();
}

void PlayerEngine::RunScript(const std::string& js) {
  if (view_ && pageReady_) {
    view_->RunScriptAsync(wxString::FromUTF8(js));
  } else {
    pending_.push_back(js);
  }
}

// The view is a sibling lying over the host's client area rather than its child: controls come
// and go with every change of movie, and moving a web view to another parent unrealizes it,
// which costs the page hundreds of milliseconds before it draws again.
void PlayerEngine::FitToHost() {
  if (!view_ || !host_) return;
  wxWindow* parent = host_->GetParent();
  if (view_->GetParent() != parent) {
    view_->Reparent(parent);
    // The dialog goes away with its children: take the view out first.
    parent->Bind(wxEVT_DESTROY, [this, parent, alive = std::weak_ptr<int>(alive_)](wxWindowDestroyEvent& e) {
      if (alive.lock() && e.GetEventObject() == parent && view_ && view_->GetParent() == parent) {
        if (host_ && host_->GetParent() == parent) host_ = nullptr;
        view_->Hide();
        view_->Reparent(parking_);
      }
      e.Skip();
    });
  }
  const wxPoint origin = parent->ScreenToClient(host_->ClientToScreen(wxPoint(0, 0)));
  view_->SetSize(wxRect(origin, host_->GetClientSize()));
  view_->Show(host_->IsShown());
  view_->Raise();
}

void PlayerEngine::Attach(wxWindow* host) {
  if (host_ && host_ != host) Detach(host_);
  host_ = host;
  WarmUp();
  FitToHost();
  auto follow = [this, host, alive = std::weak_ptr<int>(alive_)](wxEvent& e) {
    if (alive.lock() && host_ == host) FitToHost();
    e.Skip();
  };
  host->Bind(wxEVT_SIZE, follow);
  host->Bind(wxEVT_MOVE, follow);
  host->Bind(wxEVT_SHOW, follow);
}

void PlayerEngine::Detach(wxWindow* host) {
  if (host_ != host) return;
  host_ = nullptr;
  NewLoad();
  if (view_) view_->Hide();
  // Drop every command queued for the old control: the next one starts from an empty stage.
  pending_.clear();
  RunScript("trovex.clear();trovex.zoom(0);");
}

void PlayerEngine::LoadMovie(wxWindow* host, const std::string& movie, const FlashProperties& props) {
  if (host != host_) return;
  const long id = NewLoad();
  RunScript("trovex.clear();");
  if (ClassifyMovie(movie) == MovieKind::Empty) return;
  const std::string config = PlayerConfigJson(props);
  std::shared_ptr<std::atomic<bool>> abort = abort_;
  auto done = std::make_shared<std::atomic<bool>>(false);
  // The parking frame lives exactly as long as this engine (its destructor takes it down), so
  // the frame's weak reference guards the engine too.
  WindowPoster poster(&Parking());
  ReapWorkers();
  // Reading a file or fetching an address must not hold up the dialog.
  std::thread worker([this, movie, id, config, abort, done, poster] {
    MovieBytes bytes = LoadMovieBytes(movie, abort.get());
    if (!*abort) {
      auto body = std::make_shared<const std::string>(std::move(bytes.strBody));
      poster.Post([this, id, loaded = bytes.bLoaded, error = bytes.strError, body, config] {
        OnMovieBytes(id, loaded, error, body);
        if (loaded && current_ == id) {
          RunScript("trovex.load(" + JsonString(MovieUrl(id)) + "," + config + "," + std::to_string(id) + ");");
        }
      });
    }
    *done = true;
  });
  workers_.push_back({std::move(worker), std::move(done)});
}

long PlayerEngine::NewLoad() {
  // A fetch still running for the previous movie gives up.
  *abort_ = true;
  abort_ = std::make_shared<std::atomic<bool>>(false);
  movie_.reset();
  return ++current_;
}

void PlayerEngine::OnMovieBytes(long id, bool loaded, const std::string& error,
                                std::shared_ptr<const std::string> body) {
  if (id != current_) return;
  if (loaded) {
    movie_ = std::move(body);
  } else {
    RunScript("trovex.show(" + JsonString(error) + ");");
    for (auto& [cookie, listener] : std::map(listeners_)) listener("error", id);
  }
}

void PlayerEngine::Stop(wxWindow* host) {
  if (host == host_) RunScript("trovex.stop();");
}

void PlayerEngine::Zoom(wxWindow* host, int percent) {
  if (host == host_) RunScript("trovex.zoom(" + std::to_string(percent < 0 ? 0 : percent) + ");");
}

int PlayerEngine::AddListener(Listener listener) {
  listeners_[++nextCookie_] = std::move(listener);
  return nextCookie_;
}

void PlayerEngine::RemoveListener(int cookie) { listeners_.erase(cookie); }

void PlayerEngine::OnMessage(const std::string& text) {
  const std::size_t space = text.find(' ');
  if (space == std::string::npos) return;
  const std::string kind = text.substr(0, space);
  const long id = std::strtol(text.c_str() + space + 1, nullptr, 10);
  if (kind != "ready" && kind != "frame" && kind != "error") return;
  if (kind == "ready") ready_ = true;
  if (kind != "ready" && id != current_) return;
  for (auto& [cookie, listener] : std::map(listeners_)) listener(kind, id);
}

std::shared_ptr<const std::string> PlayerEngine::Serve(const std::string& path, std::string& mimeType) {
  const std::filesystem::path dir = playerDir_.value_or(std::filesystem::path());
  if (path == "index.html") {
    mimeType = "text/html";
    return std::make_shared<const std::string>(
        PlayerPageHtml(HasPlayerFiles(dir), dir.empty() ? std::string() : dir.string()));
  }
  if (path.starts_with("player/")) {
    const std::string name = path.substr(7);
    auto it = files_.find(name);
    if (it == files_.end()) {
      std::optional<PlayerFile> file = ReadPlayerFile(dir, name);
      if (!file) return nullptr;
      it = files_.emplace(name, std::make_shared<const std::string>(std::move(file->strBody))).first;
    }
    mimeType = name.ends_with(".wasm") ? "application/wasm" : "text/javascript";
    return it->second;
  }
  // Only the bytes of the current load; an older or made-up address finds nothing.
  if (path.starts_with("movie/") && movie_ && path == MovieUrl(current_).substr(std::string(kPlayerOrigin).size() + 1)) {
    mimeType = "application/x-shockwave-flash";
    return movie_;
  }
  return nullptr;
}

}  // namespace trovex

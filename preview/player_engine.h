// The warm player: a web view with the player page, moved into whichever preview control is
// current. Loading the player's WebAssembly takes seconds, so its owner (the application object)
// keeps one engine behind all the controls the Save dialog creates and destroys; the view is made
// once, soon after the first request, and switching movies only swaps the movie inside the page.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <wx/weakref.h>

#include "preview/flash_properties.h"

#include <wx/frame.h>
#include <wx/webview.h>

namespace trovex {

// One per process, kept until the process ends: the web engine keeps the first view's handler
// of the player's scheme for the whole process, so a view made after the first one went would
// reach a deleted window. Controls keep its lifetime token, so an engine that goes first is
// simply not called.
class PlayerEngine {
 public:
  // GUI thread; nothing is made until the first request. playerDir: where the player's files are
  // (a test's empty folder); by default they are looked for where the program was installed.
  explicit PlayerEngine(std::optional<std::filesystem::path> playerDir = std::nullopt);
  // Stops the workers and waits for them, then takes the view down.
  ~PlayerEngine();

  // Creates the web view on the next turn of the event loop (once); returns at once.
  void WarmUp();
  // The web view could not be made (no web engine here): callers show their own message.
  bool IsUnavailable() const;
  // The web view, once made (tests look at it).
  wxWebView* GetView() const { return view_; }

  // The control that shows the player. Attaching moves the view into host; detaching (a host
  // that is being destroyed) parks it and empties the stage.
  void Attach(wxWindow* host);
  void Detach(wxWindow* host);
  wxWindow* GetHost() const { return host_; }

  // Commands of the attached host; others are ignored.
  void LoadMovie(wxWindow* host, const std::string& movie, const FlashProperties& props);
  void Stop(wxWindow* host);
  void Zoom(wxWindow* host, int percent);

  // What the page reports: "ready" once the player is compiled, "frame" when a movie's first
  // frame is drawn, "error" when the player gave up on a movie. id: the load it belongs to.
  using Listener = std::function<void(const std::string& kind, long id)>;
  int AddListener(Listener listener);
  void RemoveListener(int cookie);
  // The player is compiled and waiting for movies.
  bool IsReady() const { return ready_; }
  // Id of the latest load (0: none yet).
  long GetCurrentLoad() const { return current_; }

  // Expires when the engine goes: for those that keep a pointer to it.
  std::weak_ptr<const void> Lifetime() const { return alive_; }

  PlayerEngine(const PlayerEngine&) = delete;
  PlayerEngine& operator=(const PlayerEngine&) = delete;

 private:
  friend class PlayerSchemeHandler;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  wxFrame& Parking();
  void CreateView();
  // Joins the workers that have finished.
  void ReapWorkers();
  void FitToHost();
  void RunScript(const std::string& js);
  long NewLoad();
  void OnLoaded(wxWebViewEvent& event);
  void OnMessage(const std::string& text);
  void OnMovieBytes(long id, bool loaded, const std::string& error, std::shared_ptr<const std::string> body);
  // The scheme handler's answer for a path below the origin; null when nothing is there.
  std::shared_ptr<const std::string> Serve(const std::string& path, std::string& mimeType);

  // Weak: the toolkit destroys top-level windows before it shuts modules down.
  wxWeakRef<wxFrame> parking_;
  wxWeakRef<wxWebView> view_;
  wxWindow* host_ = nullptr;
  bool scheduled_ = false;
  bool unavailable_ = false;
  bool pageReady_ = false;
  bool ready_ = false;
  std::vector<std::string> pending_;  // scripts waiting for the page
  std::optional<std::filesystem::path> playerDir_;  // found when the view is made, unless given
  std::map<std::string, std::shared_ptr<const std::string>> files_;  // player files, read once
  long current_ = 0;
  std::shared_ptr<const std::string> movie_;  // bytes of load current_
  std::shared_ptr<std::atomic<bool>> abort_ = std::make_shared<std::atomic<bool>>(false);
  std::map<int, Listener> listeners_;
  int nextCookie_ = 0;
  // Fetches of movies; each hands its result to the parking frame's thread through a weak
  // reference, so a result that arrives after the engine went is dropped.
  std::vector<Worker> workers_;
  // Controls, the scheme handler and handlers bound on other windows hold a weak reference and
  // do nothing once the engine went.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace trovex

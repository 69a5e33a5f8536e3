// The page the user sees: trovex-browser --list --live and --save-dialog read the snapshot of
// the shown page (scripts ran, frames loaded), and our requests carry the view's cookies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dialog_script.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"

extern char** environ;

namespace trovex {
namespace {

const std::string kFlashId = "clsid:D27CDB6E-AE6D-11cf-96B8-444553540000";
const std::string kMovie = "FWS\x0a" + std::string(60, '\0');

void Page(test::TestHttpServer& s, const std::string& path, const std::string& html,
          const std::vector<std::string>& headers = {}) {
  std::vector<std::string> all{"Content-Type: text/html; charset=utf-8"};
  all.insert(all.end(), headers.begin(), headers.end());
  s.Reply(path, 200, html, all);
}

struct Child {
  pid_t pid = -1;
  std::string out, err;
};

Child Spawn(const std::vector<std::string>& args, const test::TempDir& io) {
  Child c;
  c.out = io.str() + "/out";
  c.err = io.str() + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> all{TROVEX_BROWSER_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return c;
}

// The exit code, or -1 when it had to be killed after `seconds`.
int Wait(pid_t pid, int seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    test::PumpEvents(50);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The addresses of a --list output, one per line.
std::string Addresses(const std::string& out) {
  std::string result;
  for (std::size_t pos = 0; pos < out.size();) {
    std::size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    result += out.substr(pos, out.find('\t', pos) - pos) + "\n";
    pos = end + 1;
  }
  return result;
}

// Lines in byte order, as the movie list sorts them.
std::string Sorted(const std::string& lines) {
  std::vector<std::string> all;
  for (std::size_t pos = 0; pos < lines.size();) {
    std::size_t end = lines.find('\n', pos);
    all.push_back(lines.substr(pos, end - pos + 1));
    pos = end + 1;
  }
  std::sort(all.begin(), all.end());
  std::string out;
  for (const std::string& l : all) out += l;
  return out;
}

std::string List(const std::string& url, bool live, std::string* err = nullptr) {
  test::TempDir io;
  std::vector<std::string> args{"--list"};
  if (live) args.push_back("--live");
  args.push_back(url);
  Child c = Spawn(args, io);
  int code = Wait(c.pid, 90);
  if (err) *err = test::ReadFile(c.err);
  EXPECT_EQ(code, 0) << test::ReadFile(c.err);
  return Addresses(test::ReadFile(c.out));
}

// Pages whose movies scripts write, add, remove and hide in frames; the live list has what
// the view shows, the static loader what the source says.
TEST(LivePageTest, TheLiveListHasWhatTheViewShows) {
  test::IsolatedHome home;
  test::TestHttpServer site, other;  // two ports: two origins
  Page(site, "/scripted.html",
       "<html><head><script>"
       "document.write('<object classid=\"" + kFlashId + "\"><param name=movie value=\"written.swf\"></object>');"
       "window.onload = function () {"
       "  var e = document.createElement('embed'); e.src = 'added.swf'; document.body.appendChild(e);"
       "  var r = document.getElementById('gone'); r.parentNode.removeChild(r);"
       "  document.getElementById('late').src = '/framed.html';"
       "};</script></head><body>"
       "<embed id=gone src='removed.swf'>"
       "<object classid='" + kFlashId + "'><param name='MOVIE' value='paramonly.swf'></object>"
       "<iframe id=late></iframe>"
       "<iframe src='" + other.Url("/cross.html") + "'></iframe>"
       "</body></html>");
  Page(site, "/framed.html", "<embed src='inframe.swf' type='application/x-shockwave-flash'>");
  Page(other, "/cross.html",
       "<embed src=' cross.swf '><embed src='tabbed.txt' type='APPLICATION/X-SHOCKWAVE-FLASH'>"
       "<embed type='application/x-shockwave-flash'><script>document.write('<embed src=\"crossw.swf\">')</script>");
  const std::string o = other.Url("/"), s = site.Url("/");
  EXPECT_EQ(List(site.Url("/scripted.html"), true),
            Sorted(o + "cross.swf\n" + o + "crossw.swf\n" + o + "tabbed.txt\n" + s + "added.swf\n" + s +
                   "inframe.swf\n" + s + "paramonly.swf\n" + s + "written.swf\n"));
  // Without scripts the source has the removed movie and none of the written or added ones.
  EXPECT_EQ(List(site.Url("/scripted.html"), false),
            Sorted(o + "cross.swf\n" + o + "tabbed.txt\n" + s + "paramonly.swf\n" + s + "removed.swf\n"));

  // A page without scripts: both readings agree, frame sets and nested OBJECT/EMBED included.
  Page(site, "/plain.html",
       "<frameset cols='50%,50%'><frame src='/left.html'><frame src='" + other.Url("/right.html") + "'></frameset>");
  Page(site, "/left.html",
       "<object classid='" + kFlashId + "' data='x.swf'><param name=movie value='both.swf'><embed src='both.swf'></object>"
       "<object type='application/x-shockwave-flash' data='typed.swf'></object><embed src='intro.SWF'>");
  Page(other, "/right.html", "<embed src='v.swf?x=1' type='application/x-shockwave-flash'><embed src=''>");
  std::string live = List(site.Url("/plain.html"), true);
  EXPECT_EQ(live, List(site.Url("/plain.html"), false));
  EXPECT_EQ(live, Sorted(o + "v.swf?x=1\n" + s + "both.swf\n" + s + "intro.SWF\n"));
}

// Pages that try to change or forge what the live list reads, and pages as a web Flash player
// leaves them: each lists exactly its movies.
TEST(LivePageTest, NoPageChangesOrForgesTheLiveList) {
  test::IsolatedHome home;
  test::TestHttpServer site, other;
  test::TempDir local;
  local.WriteFile("secret.swf", kMovie);
  const std::string s = site.Url("/"), o = other.Url("/");
  const std::string forged = "{\"version\":1,\"frames\":{\"url\":\"file://" + local.str() +
                             "/\",\"objects\":[],\"embeds\":[{\"src\":\"secret.swf\"}],\"frames\":[]}}";
  site.Reply("/played.swf", 200, kMovie, {"Content-Type: application/x-shockwave-flash"});
  Page(other, "/parent.html", "<script>var parent = 1;</script><embed src='inner.swf'>");
  Page(other, "/plain.html", "<embed src='inner.swf'>");
  Page(site, "/doc.html", "<p>a document in an OBJECT</p>");
  struct Case {
    const char* name;
    std::string html;
    std::string listed;
  } cases[] = {
      {"prototypes with toJSON",
       "<script>Array.prototype.toJSON = function () { return 'x'; };"
       "Object.prototype.toJSON = function () { return 'y'; };</script><embed src='a.swf'>",
       s + "a.swf\n"},
      {"DOM look-ups replaced",
       "<embed src='a.swf'><script>document.getElementsByTagName = function () { return []; };"
       "document.querySelectorAll = function () { return []; };"
       "String.prototype.toWellFormed = function () { return 'file:///'; };</script>",
       s + "a.swf\n"},
      {"forged snapshot messages",
       "<embed src='a.swf'><script>var n = 0; setInterval(function () { for (var i = 0; i < 5; ++i) try {"
       " window.webkit.messageHandlers.trovex.postMessage('#trovex-snapshot ' + i + '\\n' + '" + forged + "'" +
           "); } catch (e) {} }, 5);</script>",
       s + "a.swf\n"},
      {"a global parent in a cross-origin frame", "<iframe src='" + o + "parent.html'></iframe>", o + "inner.swf\n"},
      {"a capture listener that stops every message",
       "<script>window.addEventListener('message', function (e) { e.stopImmediatePropagation(); }, true);</script>"
       "<iframe src='" + o + "plain.html'></iframe>",
       o + "inner.swf\n"},
      {"OBJECT and EMBED documents among the frames",
       "<object data='/doc.html' type='text/html'></object><embed src='/doc.html' type='text/html'>"
       "<iframe src='" + o + "plain.html'></iframe>",
       o + "inner.swf\n"},
      {"a player's replacement elements",
       "<div id=d></div><script>var r = document.createElement('ruffle-object');"
       "r.setAttribute('classid', '" + kFlashId + "'); var p = document.createElement('param');"
       "p.setAttribute('name', 'movie'); p.setAttribute('value', 'obj.swf'); r.appendChild(p);"
       "var e = document.createElement('ruffle-embed'); e.setAttribute('src', 'emb.swf');"
       "var d = document.getElementById('d'); d.appendChild(r); d.appendChild(e);</script>",
       s + "emb.swf\n" + s + "obj.swf\n"},
      {"a movie a script fetched", "<script>fetch('/played.swf');</script><embed src='a.swf'>",
       s + "a.swf\n" + s + "played.swf\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = "/hostile" + std::to_string(++n) + ".html";
    Page(site, path, "<html><body>" + c.html + "</body></html>");
    EXPECT_EQ(List(site.Url(path), true), c.listed);
  }
}

// A page as sites carry Flash today: the self-hosted web player (our own package, from
// loopback) replaces its OBJECT and EMBED and plays a movie a script hands it; a
// cross-origin frame has one more. Every movie is listed.
TEST(LivePageTest, APageWithTheWebPlayerListsEveryMovie) {
  test::IsolatedHome home;
  test::TestHttpServer site, other;
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TROVEX_PLAYER_DIR)) {
    const std::string name = entry.path().filename().string();
    const bool wasm = entry.path().extension() == ".wasm";
    site.Reply("/player/" + name, 200, test::ReadFile(entry.path().string()),
               {wasm ? "Content-Type: application/wasm" : "Content-Type: text/javascript"});
    ++files;
  }
  ASSERT_GT(files, 0u) << "the player package is not in " << TROVEX_PLAYER_DIR;
  for (const char* movie : {"/obj.swf", "/emb.swf", "/scripted.swf"})
    site.Reply(movie, 200, kMovie, {"Content-Type: application/x-shockwave-flash"});
  // The page's load waits for this frame until the player fetched the scripted movie.
  site.Handle("/gate.html", [&site](const test::HttpRequest&, test::HttpConnection& c) {
    for (int i = 0; i < 600 && site.CountRequests("/scripted.swf") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    c.Write(test::HttpResponseText(200, "gate", {"Content-Type: text/html"}));
  });
  Page(other, "/cross.html", "<embed src='cross.swf'>");
  Page(site, "/player.html",
       "<html><head><script src='/player/ruffle.js'></script></head><body>"
       "<object classid='" + kFlashId + "' width=100 height=100><param name=movie value='obj.swf'></object>"
       "<embed src='emb.swf' width=100 height=100><div id=box></div>"
       "<script>window.addEventListener('DOMContentLoaded', function () {"
       " var player = window.RufflePlayer.newest().createPlayer();"
       " document.getElementById('box').appendChild(player); player.load({url: '/scripted.swf'}); });</script>"
       "<iframe src='" + other.Url("/cross.html") + "'></iframe><iframe src='/gate.html'></iframe></body></html>");
  std::string err;
  const std::string s = site.Url("/"), o = other.Url("/");
  EXPECT_EQ(List(site.Url("/player.html"), true, &err),
            Sorted(o + "cross.swf\n" + s + "emb.swf\n" + s + "obj.swf\n" + s + "scripted.swf\n")) << err;
}

TEST(LivePageTest, APageThatCannotBeLoadedEndsTheLiveListWithAMessage) {
  test::IsolatedHome home;
  test::TempDir io;
  int port = 0;
  {
    test::TestHttpServer gone;  // a port that was just free, now closed
    port = gone.Port();
  }
  Child c = Spawn({"--list", "--live", "http://127.0.0.1:" + std::to_string(port) + "/"}, io);
  EXPECT_EQ(Wait(c.pid, 60), 2);
  EXPECT_NE(test::ReadFile(c.err).find("cannot load http://127.0.0.1:"), std::string::npos) << test::ReadFile(c.err);
  EXPECT_EQ(test::ReadFile(c.out), "");
}

void SaveWithEnter(const std::string& page, const std::vector<std::string>& targets, std::string* err,
                   const std::function<void()>& beforeEnter = {});

// The whole chain: the page's script sets a cookie, the movie is served only to it; the Save
// dialog from --save-dialog saves it with Enter. `cookie` is what the script sets.
void SaveTheMovieThatNeedsThePagesCookie(const std::string& cookie) {
  test::IsolatedHome home;
  ASSERT_EQ(std::system((std::string("'") + TROVEX_REGSVR_EXE + "' '" + TROVEX_MODULE_PATH + "' >/dev/null").c_str()), 0);
  test::TestHttpServer site;
  Page(site, "/",
       "<html><body><script>document.cookie = '" + cookie + "';"
       "document.write('<embed src=\"/members/movie.swf\">');</script></body></html>");
  int refused = 0, served = 0;
  site.Handle("/members/movie.swf", [&](const test::HttpRequest& r, test::HttpConnection& c) {
    auto it = r.headers.find("cookie");
    if (it == r.headers.end() || it->second.find("ticket=ok") == std::string::npos) {
      ++refused;
      c.Write(test::HttpResponseText(403, "no ticket"));
      return;
    }
    ++served;
    c.Write(test::HttpResponseText(200, kMovie, {"Content-Type: application/x-shockwave-flash"}));
  });
  const std::string target = home.dir().str() + "/movie.swf";
  std::string err;
  SaveWithEnter(site.Url("/"), {target}, &err);
  EXPECT_EQ(test::ReadFile(target), kMovie) << "the movie is saved in the dialog's folder";
  EXPECT_GE(served, 1);
  EXPECT_EQ(refused, 0) << "every request of ours carried the page's cookies\n" << err;
}

// Movies the cache already holds: the window's player role fetching them again must not take
// the copies the dialog listed from under it; every row is saved. The player's fetches are held
// until the dialog has listed the copies, and Enter waits until they are stored: on loopback
// they would otherwise end before the scan and the dialog would list their new files.
TEST(LivePageTest, SaveDialogSavesMoviesThatWereCachedBefore) {
  test::IsolatedHome home;
  ASSERT_EQ(std::system((std::string("'") + TROVEX_REGSVR_EXE + "' '" + TROVEX_MODULE_PATH + "' >/dev/null").c_str()), 0);
  test::TestHttpServer site;
  Page(site, "/", "<html><body><embed src='/a.swf'><embed src='/b.swf'></body></html>");
  std::atomic<bool> listed{false};
  std::atomic<int> served{0};
  for (const char* m : {"/a.swf", "/b.swf"})
    site.Handle(m, [&, m](const test::HttpRequest&, test::HttpConnection& c) {
      // The first fetch of each fills the cache; a later one is the window's player.
      if (site.CountRequests(m) > 1)
        for (int i = 0; i < 600 && !listed && c.Sleep(50); ++i) {
        }
      c.Write(test::HttpResponseText(200, kMovie + std::string(m), {"Content-Type: application/x-shockwave-flash"}));
      ++served;
    });
  test::TempDir first;
  Child fill = Spawn({"--plugins", "--list", site.Url("/")}, first);
  ASSERT_GT(fill.pid, 0);
  ASSERT_EQ(Wait(fill.pid, 60), 0) << test::ReadFile(first.str() + "/err");
  const std::string out = test::ReadFile(first.str() + "/out");
  std::size_t copies = 0;
  for (std::size_t at = 0; (at = out.find("\t/", at)) != std::string::npos; ++at) ++copies;
  ASSERT_EQ(copies, 2u) << "both listed with a copy in the cache: " << out;
  const std::string a = home.dir().str() + "/a.swf", b = home.dir().str() + "/b.swf";
  ASSERT_EQ(served, 2);
  std::string err;
  SaveWithEnter(site.Url("/"), {a, b}, &err, [&] {
    listed = true;
    for (int i = 0; i < 80 && served < 4; ++i) test::PumpEvents(250);
    test::PumpEvents(1000);  // the player's second movie goes into the cache
    EXPECT_EQ(served, 4) << "the player fetched both movies again";
  });
  EXPECT_EQ(test::ReadFile(a), kMovie + std::string("/a.swf")) << err;
  EXPECT_EQ(test::ReadFile(b), kMovie + std::string("/b.swf")) << err;
}

// Opens the Save dialog of `page` through --save-dialog, presses Enter and waits for the
// targets; *err: what the window said.
void SaveWithEnter(const std::string& page, const std::vector<std::string>& targets, std::string* err,
                   const std::function<void()>& beforeEnter) {
  auto allThere = [&] {
    return std::all_of(targets.begin(), targets.end(), [](const std::string& t) { return std::filesystem::exists(t); });
  };
  test::TempDir io;
  Child c = Spawn({"--save-dialog", page}, io);
  ASSERT_GT(c.pid, 0);
  // The Save dialog is up once the window system knows its title.
  bool up = false;
  for (int i = 0; i < 120 && !up; ++i) {
    test::PumpEvents(250);
    up = std::system("xwininfo -root -tree 2>/dev/null | grep -q '\"儲存\"'") == 0;
  }
  ASSERT_TRUE(up) << test::ReadFile(c.err);
  test::PumpEvents(500);
  if (beforeEnter) beforeEnter();
  wxUIActionSimulator keys;
  keys.Char(WXK_RETURN);
  for (int i = 0; i < 120 && !allThere(); ++i) test::PumpEvents(250);
  test::PumpEvents(500);
  if (const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR")) test::CaptureScreen(std::string(dir) + "/live_save_dialog.png");
  // After the run the focus is back on a control, so Escape closes the dialog and the program.
  keys.Char(WXK_ESCAPE);
  EXPECT_NE(Wait(c.pid, 30), -1) << "the Save dialog did not close on Escape after the run";
  *err = test::ReadFile(c.err);
}

TEST(LivePageTest, SaveDialogSavesTheMovieThatNeedsThePagesCookie) {
  // A kept cookie, and a session's one (a log-in), which the view holds in memory only.
  for (const char* cookie : {"ticket=ok; max-age=3600; path=/", "ticket=ok; path=/"}) {
    SCOPED_TRACE(cookie);
    SaveTheMovieThatNeedsThePagesCookie(cookie);
  }
}

}  // namespace
}  // namespace trovex

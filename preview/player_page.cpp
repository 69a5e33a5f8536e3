#include "preview/player_page.h"

#include "preview/flash_properties.h"
#include "res/strings.h"

namespace trovex {
namespace {

// Only our own scheme is reachable; the player needs eval for its WebAssembly glue.
constexpr const char* kHead = R"(<!DOCTYPE html>
<html lang="zh-Hant-TW"><head><meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; script-src trovex-player: 'unsafe-inline' 'unsafe-eval' 'wasm-unsafe-eval'; connect-src trovex-player:; img-src trovex-player: data: blob:; media-src trovex-player: data: blob:; font-src trovex-player: data:; style-src 'unsafe-inline'; worker-src blob: trovex-player:">
<style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #ffffff;
  font-family: "Noto Sans CJK TC", sans-serif; font-size: 13px; }
#stage { position: absolute; inset: 0; transform-origin: 50% 50%; }
#stage ruffle-player { display: block; width: 100%; height: 100%; }
#warm { position: absolute; width: 1px; height: 1px; left: -10px; top: -10px; }
#message { position: absolute; inset: 0; display: flex; align-items: center; justify-content: center;
  text-align: center; padding: 12px; white-space: pre-wrap; color: #404040; }
#message[hidden] { display: none; }
</style>
)";

constexpr const char* kScript = R"JS(<script>
"use strict";
const trovex = (() => {
  const stage = document.getElementById("stage");
  const message = document.getElementById("message");
  let player = null;
  let seq = 0;
  let posted = 0;
  // The host reads the title: "kind id serial" (the serial makes every report a change).
  function post(kind, detail) { document.title = kind + " " + detail + " " + (++posted); }
  function clear() {
    seq++;
    if (!window.RufflePlayer) return;  // keeps the message about the missing player
    if (player) { try { player.ruffle().pause(); } catch (e) {} player.remove(); player = null; }
    message.hidden = true;
  }
  function show(text) {
    seq++;
    if (player) { player.remove(); player = null; }
    message.textContent = text;
    message.hidden = false;
  }
  function watch(p, id) {
    p.addEventListener("loadedmetadata", () => {
      // Two animation frames later the movie's first frame is on screen.
      requestAnimationFrame(() => requestAnimationFrame(() => { if (id === seq) post("frame", id); }));
    });
    // The player draws its own error screen; tell the host too.
    const timer = setInterval(() => {
      if (id !== seq) { clearInterval(timer); return; }
      const root = p.shadowRoot;
      if (root && root.querySelector(".panic, #panic, .ruffle-panic, [class*=panic]")) {
        clearInterval(timer);
        post("error", id);
      }
    }, 100);
  }
  return {
    load(url, config, id) {
      clear();
      if (!window.RufflePlayer) return;
      seq = id;
      player = window.RufflePlayer.newest().createPlayer();
      stage.appendChild(player);
      watch(player, id);
      player.ruffle().load(Object.assign({}, config, { url: url })).catch(() => post("error", id));
    },
    stop() { if (player) { try { player.ruffle().pause(); } catch (e) {} } },
    zoom(percent) {
      // Flash's Zoom: 0 shows the whole movie; n shows n percent of it, magnified.
      stage.style.transform = percent > 0 ? "scale(" + (100 / percent) + ")" : "";
    },
    clear: clear,
    show: show,
    warm(config) {
      if (!window.RufflePlayer) { post("ready", 0); return; }
      // A player with an empty one-frame movie compiles the engine before the first preview.
      const w = window.RufflePlayer.newest().createPlayer();
      w.id = "warm";
      document.body.appendChild(w);
      const empty = new Uint8Array([0x46, 0x57, 0x53, 6, 15, 0, 0, 0, 0, 0, 12, 1, 0, 0, 0]);
      let done = false;
      const finish = () => { if (!done) { done = true; w.remove(); post("ready", 0); } };
      w.addEventListener("loadedmetadata", finish);
      w.ruffle().load(Object.assign({}, config, { data: empty })).catch(finish);
      setTimeout(finish, 20000);
    },
  };
})();
</script>
)JS";

}  // namespace

std::string PlayerPageHtml(bool playerPresent, const std::string& playerDirUtf8) {
  std::string page = kHead;
  if (playerPresent) {
    page += "<script>window.RufflePlayer = { config: { publicPath: \"";
    page += kPlayerOrigin;
    page += "/player/\", polyfills: false } };</script>\n<script src=\"player/ruffle.js\"></script>\n";
  }
  page += "</head><body><div id=\"stage\"></div><div id=\"message\" hidden></div>\n";
  page += kScript;
  if (!playerPresent) {
    std::string text = LoadResStringUtf8(IDS_TROVEX_PREVIEW_NO_PLAYER);
    if (!playerDirUtf8.empty()) text += "\n" + playerDirUtf8;
    page += "<script>trovex.show(" + JsonString(text) + ");</script>\n";
  }
  return page + "</body></html>\n";
}

}  // namespace trovex

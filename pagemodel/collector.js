// The page snapshot: what the document walker reads of a live page, from every frame.
//
// Evaluated in a frame, this script installs (once per frame) the collector and evaluates to a
// Promise of the snapshot of that frame and every frame below it: {"version": 1, "frames":
// FRAME, "cuts": [...]}; the format is described in pagemodel/snapshot.h. Same-origin frames are
// read directly; a cross-origin frame is asked through postMessage and answers with its own
// subtree, so the collector must be present there too (a browser extension runs this file in
// all frames, the browser window injects it into every frame at document start). A frame that
// does not answer within the time limit is reported with "error" and no address.
//
// The values are the elements' attributes as they stand: no trimming, no resolving; a missing
// attribute is null, an empty one "". A web Flash player's replacement elements count as the
// OBJECT and EMBED they replaced. The movies a frame fetched (its resource timing: a movie a
// script handed to a player, a movie a movie loaded) are listed as "loaded".
//
// It runs in a script world of its own (the extension's content scripts, the window's isolated
// world), so the page's prototypes and globals never reach it. A child frame is matched to
// its element by the element's window, never by an index into window.frames; a child that
// does not answer keeps its element's address.
(function () {
  'use strict';
  var VERSION = 1;
  var KEY = '__trovexCollector1';
  var ANSWER_MS = 3000;       // how long a frame waits for a cross-origin child's answer
  var ASK_EVERY_MS = 100;     // the child's collector may not be installed yet: ask again
  var MAX_DEPTH = 16;         // frames nested deeper are reported without content
  var MAX_ELEMENTS = 200000;  // objects and embeds per frame subtree
  var MAX_LOADED = 1000;      // fetched movies per frame
  var OBJECTS = 'object, ruffle-object';
  var EMBEDS = 'embed, ruffle-embed';
  var FLASH_TYPES = ['application/x-shockwave-flash', 'application/vnd.adobe.flash.movie'];

  if (window[KEY]) return window[KEY].snapshot();

  // Taken before the page's own scripts run (the view injects at document start), so a page
  // that replaces these cannot change what the collector does.
  var postMessageTo = function (w, data) { w.postMessage(data, '*'); };
  var setTimer = window.setTimeout.bind(window);
  var clearTimer = window.clearTimeout.bind(window);
  var random = Math.random;
  var stringify = JSON.stringify;

  // Lone surrogates would make the JSON text unreadable for strict readers.
  function wellFormed(s) {
    if (typeof s.toWellFormed === 'function') return s.toWellFormed();
    if (!/[\uD800-\uDFFF]/.test(s)) return s;
    var out = '';
    for (var i = 0; i < s.length; ++i) {
      var c = s.charCodeAt(i);
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.length) {
        var d = s.charCodeAt(i + 1);
        if (d >= 0xDC00 && d <= 0xDFFF) { out += s[i] + s[i + 1]; ++i; continue; }
      }
      out += (c >= 0xD800 && c <= 0xDFFF) ? '\uFFFD' : s[i];
    }
    return out;
  }
  function text(v) { return v === null || v === undefined ? null : wellFormed(String(v)); }

  function nearestObject(element) {
    for (var p = element.parentElement; p; p = p.parentElement)
      if (p.localName === 'object' || p.localName === 'ruffle-object') return p;
    return null;
  }

  // OBJECT's movie: its own attribute, else its first PARAM named movie (any case).
  function movieOf(object) {
    var own = object.getAttribute('movie');
    if (own !== null) return own;
    var params = object.getElementsByTagName('param');
    for (var i = 0; i < params.length; ++i) {
      var name = params[i].getAttribute('name');
      if (name !== null && name.toLowerCase() === 'movie' && nearestObject(params[i]) === object)
        return params[i].getAttribute('value') || '';
    }
    return null;
  }

  // What the player reads beside the movie: the attribute, else the object's own PARAM.
  function paramOf(element, wanted) {
    var own = element.getAttribute(wanted);
    if (own !== null || element.localName !== 'object') return own;
    var params = element.getElementsByTagName('param');
    for (var i = 0; i < params.length; ++i) {
      var name = params[i].getAttribute('name');
      if (name !== null && name.toLowerCase() === wanted && nearestObject(params[i]) === element)
        return params[i].getAttribute('value') || '';
    }
    return null;
  }

  // This frame's own elements, without its children.
  function readDocument(win, frame) {
    var doc = win.document;
    frame.url = text(win.location.href);
    frame.base = text(doc.baseURI);
    var objects = doc.querySelectorAll(OBJECTS);
    var index = new Map();
    var kept = 0;
    for (var i = 0; i < objects.length; ++i) {
      if (kept >= MAX_ELEMENTS) { frame.cut = (frame.cut || 0) + objects.length - i; break; }
      index.set(objects[i], frame.objects.length);
      frame.objects.push({ classid: text(objects[i].getAttribute('classid')), movie: text(movieOf(objects[i])),
                           flashvars: text(paramOf(objects[i], 'flashvars')), base: text(paramOf(objects[i], 'base')) });
      ++kept;
    }
    var embeds = doc.querySelectorAll(EMBEDS);
    for (var j = 0; j < embeds.length; ++j) {
      if (kept >= MAX_ELEMENTS) { frame.cut = (frame.cut || 0) + embeds.length - j; break; }
      var owner = nearestObject(embeds[j]);
      var entry = { src: text(embeds[j].getAttribute('src')), type: text(embeds[j].getAttribute('type')),
                    flashvars: text(paramOf(embeds[j], 'flashvars')), base: text(paramOf(embeds[j], 'base')) };
      if (owner && index.has(owner)) entry.object = index.get(owner);
      frame.embeds.push(entry);
      ++kept;
    }
    frame.loaded = loadedMovies(win);
    return doc.querySelectorAll('frame, iframe');
  }

  // The movies this frame fetched: by their type where the browser tells it, else by a path
  // that ends in .swf.
  function loadedMovies(win) {
    var out = [];
    var entries = [];
    try { entries = win.performance.getEntriesByType('resource'); } catch (e) {}
    for (var i = 0; i < entries.length && out.length < MAX_LOADED; ++i) {
      var name = text(entries[i].name);
      var type = typeof entries[i].contentType === 'string' ? entries[i].contentType.toLowerCase() : '';
      var path = '';
      try { path = new URL(name).pathname.toLowerCase(); } catch (e) { continue; }
      if ((FLASH_TYPES.indexOf(type) >= 0 || path.slice(-4) === '.swf') && out.indexOf(name) < 0) out.push(name);
    }
    return out;
  }

  function sameOrigin(win) {
    try { return !!win.document; } catch (e) { return false; }
  }

  // Answers from cross-origin children, by question. One listener, added when the collector
  // is installed (the window does that before the page's own scripts run), so it hears the
  // answers before any listener of the page can stop them.
  var asking = new Map();
  window.addEventListener('message', function (event) {
    var d = event.data;
    if (!d || typeof d !== 'object' || d.trovexSnapshot !== VERSION) return;
    var pending = asking.get(d.id);
    if (!pending || event.source !== pending.child) return;
    event.stopImmediatePropagation();
    pending.finish(d.frame && typeof d.frame === 'object' ? d.frame : { url: null, error: 'bad answer' });
  }, true);

  // Asks a cross-origin child for its subtree; resolves with a frame record in any case. A
  // child that does not answer keeps its element's address, as a loader would have it.
  function ask(child, depth, address) {
    return new Promise(function (resolve) {
      var id = String(random()).slice(2) + String(Date.now());
      var done = false, timer = 0, repeat = 0;
      function finish(frame) {
        if (done) return;
        done = true;
        clearTimer(timer);
        clearTimer(repeat);
        asking.delete(id);
        frame.asked = id;
        resolve(frame);
      }
      function send() {
        try { postMessageTo(child, { trovexCollect: VERSION, id: id, depth: depth }); } catch (e) {}
        repeat = setTimer(send, ASK_EVERY_MS);
      }
      asking.set(id, { child: child, finish: finish });
      timer = setTimer(function () { finish({ url: address, error: 'no answer' }); }, ANSWER_MS);
      send();
    });
  }

  // The subtree of frame `win` at nesting `depth` (0: where the collection started).
  function collect(win, depth) {
    var frame = { url: null, base: null, objects: [], embeds: [], frames: [] };
    var children;
    try {
      children = readDocument(win, frame);
    } catch (e) {
      return Promise.resolve({ url: frame.url, error: 'unreadable: ' + text(e && e.message) });
    }
    var pending = [];
    for (var i = 0; i < children.length; ++i) {
      var element = children[i];
      var tag = element.localName;
      var child = element.contentWindow;
      if (!child) {
        pending.push(Promise.resolve({ tag: tag, url: null, error: 'no document' }));
      } else if (depth + 1 > MAX_DEPTH) {
        pending.push(Promise.resolve({ tag: tag, url: null, error: 'too deep' }));
      } else {
        var p = sameOrigin(child) ? collect(child, depth + 1) : ask(child, depth + 1, text(element.src) || null);
        pending.push(p.then(function (t) { return function (f) { f.tag = t; return f; }; }(tag)));
      }
    }
    return Promise.all(pending).then(function (frames) {
      frame.frames = frames;
      return frame;
    });
  }

  function snapshot() {
    return collect(window, 0).then(function (top) { return { version: VERSION, frames: top }; });
  }

  // Answers the parent frame's question; only the parent may ask. The parent asks again until
  // it has an answer, so each question is answered once.
  var answered = new Set();
  var lastAsked = null;  // the parent's question: the extension places the frame by it
  window.addEventListener('message', function (event) {
    var d = event.data;
    if (!d || d.trovexCollect !== VERSION || event.source !== window.parent || window.parent === window) return;
    event.stopImmediatePropagation();
    if (answered.has(d.id)) return;
    answered.add(d.id);
    lastAsked = d.id;
    var depth = typeof d.depth === 'number' ? d.depth : 1;
    collect(window, depth).then(function (frame) {
      try { postMessageTo(event.source, { trovexSnapshot: VERSION, id: d.id, frame: frame }); } catch (e) {}
    });
  }, true);

  var api = {
    snapshot: snapshot,
    asked: function () { return lastAsked; },
    text: function () { return snapshot().then(function (s) { return stringify(s); }); }
  };
  try {
    Object.defineProperty(window, KEY, { value: api, writable: false, configurable: false, enumerable: false });
  } catch (e) {}
  return snapshot();
})();

// The extension's background script against a stand-in of the browser's API (node, no browser):
// what it sends to the host (the frame tree from frame ids, the cookies as a Mozilla-format
// jar), and that a missing or failing host is said on the action and in a notification.
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const vm = require('node:vm');

const source = fs.readFileSync(process.argv[2], 'utf8');

// A tab: the top frame (0) with a same-origin child (1) that its collector read itself and a
// cross-origin child (2) whose answer did not reach it, before which an OBJECT's document (11)
// sits among the window's frames; the browser ran the collector in each.
function frameResults() {
  const child = { tag: 'iframe', url: 'http://other.test/f.html', base: 'http://other.test/f.html',
                  objects: [], embeds: [{ src: 'deep.swf', type: null }], frames: [] };
  const top = { url: 'http://site.test/p.html', base: 'http://site.test/p.html',
                objects: [{ classid: 'clsid:x', movie: 'a.swf' }], embeds: [{ src: ' /b.swf ', type: null }],
                frames: [{ tag: 'iframe', url: 'http://site.test/same.html', base: 'http://site.test/same.html',
                           objects: [], embeds: [], frames: [] },
                         { tag: 'iframe', url: 'http://other.test/f.html', error: 'no answer', asked: 'q2' },
                         { tag: 'iframe', url: 'http://quiet.test/q.html', error: 'no answer', asked: 'q3' }] };
  return [{ frameId: 0, result: { version: 1, frames: top } },
          { frameId: 7, result: { version: 1, frames: Object.assign({}, top.frames[0], { tag: undefined }) } },
          { frameId: 11, result: { version: 1, frames: { url: 'http://site.test/movie.html', objects: [], embeds: [], frames: [] } } },
          { frameId: 9, result: { version: 1, frames: child } },
          { frameId: 12, result: { version: 1, frames: { url: 'http://quiet.test/q.html', objects: [],
                                                         embeds: [{ src: 'quiet.swf' }], frames: [] } } }];
}

function load(host) {
  const calls = { badge: [], notes: [], sent: [] };
  const listeners = {};
  const on = (name) => ({ addListener: (f) => { listeners[name] = f; } });
  const chrome = {
    runtime: {
      onInstalled: on('installed'), onStartup: on('startup'), lastError: undefined,
      getURL: (p) => 'ext://' + p,
      connectNative: (name) => {
        assert.strictEqual(name, 'com.kelvora.swftrovex');
        return host(calls);
      },
    },
    contextMenus: { removeAll: (f) => f(), create: (o, f) => f && f(), onClicked: on('menu') },
    action: {
      onClicked: on('action'), setIcon: async () => {}, setTitle: async () => {},
      setBadgeBackgroundColor: async () => {}, setBadgeText: async (d) => { calls.badge.push(d.text); },
    },
    notifications: { create: (o) => { calls.notes.push(o.message); } },
    scripting: {
      executeScript: async ({ target, files, func }) => {
        assert.ok(target.allFrames);
        if (files) { assert.strictEqual(JSON.stringify(files), '["collector.js"]'); return frameResults(); }
        // The question each frame's parent asked it with; 11 is an OBJECT's document, which
        // window.frames also counts, asked nothing.
        return [{ frameId: 0, result: null }, { frameId: 7, result: null }, { frameId: 11, result: null },
                { frameId: 9, result: 'q2' }];
      },
    },
    webNavigation: {
      getAllFrames: async () => [{ frameId: 0, parentFrameId: -1 }, { frameId: 7, parentFrameId: 0 },
                                 { frameId: 11, parentFrameId: 0, url: 'http://other.test/f.html' },
                                 { frameId: 9, parentFrameId: 0 },
                                 { frameId: 12, parentFrameId: 0, url: 'http://quiet.test/q.html' }],
    },
    cookies: {
      getAllCookieStores: async () => [{ id: '0', tabIds: [4] }],
      getAll: async ({ url, storeId }) => {
        assert.strictEqual(storeId, '0');
        if (url.startsWith('http://site.test/'))
          return [{ domain: 'site.test', hostOnly: true, path: '/', secure: false, session: true, name: 's', value: '1' },
                  { domain: '.site.test', hostOnly: false, path: '/m', secure: true, httpOnly: true,
                    expirationDate: 4102444800.5, name: 'h', value: 'x y' }];
        return [];
      },
    },
  };
  const errors = [];
  vm.runInNewContext(source, { chrome, console: { error: (t) => errors.push(t) }, URL });
  calls.errors = errors;
  return { calls, run: () => listeners.action({ id: 4 }) };
}

// A host that answers `answer` (or ends without one when null).
function port(answer) {
  return (calls) => {
    const handlers = {};
    const p = {
      onMessage: { addListener: (f) => { handlers.message = f; } },
      onDisconnect: { addListener: (f) => { handlers.disconnect = f; } },
      postMessage: (m) => {
        calls.sent.push(m);
        setTimeout(() => (answer ? handlers.message(answer) : handlers.disconnect({ error: { message: 'exited' } })), 0);
      },
      disconnect: () => {},
    };
    return p;
  };
}

async function main() {
  // The request: one tree built from the frame ids, the cookies of the movies' addresses.
  let t = load(port({ version: 1, result: 0 }));
  await t.run();
  assert.strictEqual(t.calls.sent.length, 1, t.calls.errors.join('\n'));
  const m = t.calls.sent[0];
  assert.deepStrictEqual(Object.keys(m).sort(), ['cookies', 'snapshot', 'version']);
  assert.strictEqual(m.version, 1);
  const frames = m.snapshot.frames.frames;
  assert.strictEqual(frames.length, 3);
  assert.strictEqual(frames[2].embeds[0].src, 'quiet.swf', 'a frame its page kept silent, by its address');
  assert.strictEqual(frames[0].url, 'http://site.test/same.html');
  assert.strictEqual(frames[0].tag, 'iframe');
  assert.strictEqual(frames[1].url, 'http://other.test/f.html', 'the silent frame comes from its frame id');
  assert.strictEqual(frames[1].embeds[0].src, 'deep.swf');
  assert.strictEqual(m.cookies, '# Netscape HTTP Cookie File\n' +
                     'site.test\tFALSE\t/\tFALSE\t0\ts\t1\n' +
                     '#HttpOnly_.site.test\tTRUE\t/m\tTRUE\t4102444800\th\tx y\n');
  assert.strictEqual(t.calls.badge.at(-1), '');
  assert.deepStrictEqual(t.calls.notes, []);

  // A missing host: the badge and a notification naming the command that registers it.
  t = load(() => { throw new Error('Specified native messaging host not found.'); });
  await t.run();
  assert.strictEqual(t.calls.badge.at(-1), '!');
  assert.match(t.calls.notes[0], /trovex-native-host --register/);
  assert.match(t.calls.notes[0], /not found/);

  // A host that ends without answering, and one that answers with an error.
  t = load(port(null));
  await t.run();
  assert.strictEqual(t.calls.badge.at(-1), '!');
  assert.match(t.calls.notes[0], /exited/);
  t = load(port({ version: 1, error: '頁面快照無法讀取' }));
  await t.run();
  assert.strictEqual(t.calls.badge.at(-1), '!');
  assert.match(t.calls.notes[0], /頁面快照無法讀取/);
  console.log('background.js: all cases passed');
}

main().catch((e) => { console.error(e); process.exit(1); });

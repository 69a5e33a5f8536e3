// The extension's background script against a stand-in of the browser's API (node, no browser):
// what it sends to the host (the frame tree from frame ids, the cookies as a Mozilla-format
// jar), that a missing or failing host is said on the badge, the popup and a notification in the
// extension's own words, and that a second request for a tab raises its open dialog.
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const vm = require('node:vm');

const source = fs.readFileSync(process.argv[2], 'utf8');
const messages = JSON.parse(fs.readFileSync(process.argv[3], 'utf8'));

// The browser's lookup: the message with $1.. replaced; a missing key is a fault here.
function getMessage(key, subs) {
  assert.ok(messages[key], 'no message ' + key);
  return messages[key].message.replace(/\$(\d)/g, (m, n) => [].concat(subs ?? [])[n - 1] ?? '');
}

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
  const calls = { badge: [], notes: [], sent: [], popup: [] };
  const listeners = {};
  const on = (name) => ({ addListener: (f) => { listeners[name] = f; } });
  const chrome = {
    runtime: {
      onInstalled: on('installed'), onStartup: on('startup'), onMessage: on('message'), lastError: undefined,
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
      setPopup: async (d) => { calls.popup.push(d.popup); },
    },
    i18n: { getMessage },
    notifications: { create: (o) => { calls.notes.push(o.title + '\n' + o.message); } },
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
  vm.runInNewContext(source, { chrome, console: { error: (t) => errors.push(t) }, URL, URLSearchParams });
  calls.errors = errors;
  return { calls, run: () => listeners.action({ id: 4 }), retry: () => listeners.message({ retry: 4 }) };
}

// A host that answers `answer` (or ends without one when null); with `later`, only when
// `calls.answer()` is called.
function port(answer, later) {
  return (calls) => {
    const handlers = {};
    const p = {
      onMessage: { addListener: (f) => { handlers.message = f; } },
      onDisconnect: { addListener: (f) => { handlers.disconnect = f; } },
      postMessage: (m) => {
        calls.sent.push(m);
        const reply = () => (answer ? handlers.message(answer) : handlers.disconnect({ error: { message: 'exited' } }));
        if (m.raise) return;
        if (later) calls.answer = reply; else setTimeout(reply, 0);
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

  assert.strictEqual(t.calls.popup.at(-1), '', 'no notice popup after a request that went through');

  // Each failure: the badge, a notification whose first words hold the command (where there is
  // one), and a popup with the whole text and the command; none of the browser's own words.
  const failures = [
    { host: () => { throw new Error('Specified native messaging host not found.'); },
      title: messages.hostMissingTitle.message, command: 'trovex-native-host --register' },
    { host: port(null), title: messages.hostMissingTitle.message, command: 'trovex-native-host --register' },
    { host: port({ version: 1, error: '頁面快照無法讀取' }), title: messages.hostErrorTitle.message,
      text: '頁面快照無法讀取', command: '' },
    { host: port({ version: 1, error: '找不到模組。請執行「trovex-native-host --register」' }),
      title: messages.hostErrorTitle.message, command: 'trovex-native-host --register' },
    { host: port('not an object'), title: messages.hostBadAnswerTitle.message, command: '' },
  ];
  for (const f of failures) {
    t = load(f.host);
    await t.run();
    assert.strictEqual(t.calls.badge.at(-1), '!', f.title);
    const [noteTitle, noteText] = t.calls.notes[0].split('\n');
    assert.strictEqual(noteTitle, f.title);
    if (f.command) assert.ok(noteText.startsWith(getMessage('noticeRunCommand', [f.command])), noteText);
    assert.doesNotMatch(t.calls.notes[0], /not found|exited|0x8|SWFOrdavin/);
    const popup = new URLSearchParams(t.calls.popup.at(-1).replace(/^notice\.html\?/, ''));
    assert.ok(t.calls.popup.at(-1).startsWith('notice.html?'), t.calls.popup.at(-1));
    assert.strictEqual(popup.get('title'), f.title);
    assert.strictEqual(popup.get('command'), f.command);
    if (f.text) assert.strictEqual(popup.get('text'), f.text);
    assert.doesNotMatch(popup.get('text'), /not found|exited/);
  }

  // A second request for a tab while its dialog is open asks the host to raise it; the retry of
  // the notice starts a new request once the first has ended.
  t = load(port({ version: 1, result: 0 }, true));
  const first = t.run();
  while (!t.calls.answer) await new Promise((r) => setTimeout(r, 1));
  await t.run();
  assert.deepStrictEqual(t.calls.sent.map((m) => Boolean(m.raise)), [false, true]);
  assert.strictEqual(JSON.stringify(t.calls.sent[1]), '{"version":1,"raise":true}');
  t.calls.answer();
  await first;
  delete t.calls.answer;
  t.retry();
  while (!t.calls.answer) await new Promise((r) => setTimeout(r, 1));
  assert.deepStrictEqual(t.calls.sent.map((m) => Boolean(m.raise)), [false, true, false]);
  console.log('background.js: all cases passed');
}

main().catch((e) => { console.error(e); process.exit(1); });

// The extension's part in the browser: on the toolbar button, its shortcut or the context-menu
// item, take the snapshot of every frame of the tab (collector.js, the same script the browser
// window runs), add the cookies of every address a movie may come from, and hand both to the
// native host, which shows the Save dialog. One script for Chromium (service worker) and
// Firefox (event page).
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST = 'com.kelvora.swftrovex';
const MENU_ID = 'trovex-save';
const REGISTER_COMMAND = 'trovex-native-host --register';
const MESSAGE_VERSION = 1;
const MAX_COOKIE_ADDRESSES = 2000;  // distinct addresses asked for cookies per request
const ICON = { 16: 'icons/button-16.png', 20: 'icons/button-20.png' };
const ICON_HOT = { 16: 'icons/button-hot-16.png', 20: 'icons/button-hot-20.png' };

// The user's words, from _locales.
const t = (key, subs) => api.i18n.getMessage(key, subs);

// Open requests by tab: a second request for a tab brings its open dialog to the front.
const open = new Map();

// A failure the user can act on: a headline, the whole text and a command to run (or '').
class TrovexError extends Error {
  constructor(title, text, command) {
    super(text);
    this.title = title;
    this.command = command || '';
  }
}

function createMenu() {
  api.contextMenus.removeAll(() => {
    void api.runtime.lastError;
    api.contextMenus.create({ id: MENU_ID, title: t('extName'), contexts: ['page', 'frame'] }, () => {
      void api.runtime.lastError;  // already there after a restart of the background
    });
  });
}
api.runtime.onInstalled.addListener(createMenu);
api.runtime.onStartup.addListener(createMenu);

// In each frame: the question its parent's collector asked it with (the parent's record of
// the child carries the same as "asked"); null when it was not asked. The browser's frame ids
// and these questions place each frame under its element, never an index into window.frames,
// which also counts the documents of OBJECT and EMBED elements.
function questionFromParent() {
  try {
    const c = window.__trovexCollector1;
    return c && typeof c.asked === 'function' ? c.asked() : null;
  } catch (e) {
    return null;
  }
}

// The tab's frame tree, built from the browser's frame ids: each frame's own collector result,
// with its child records replaced by the records of the frames the browser knows to be there.
// A child the extension could not run in keeps what its parent's collector said of it.
async function takeSnapshot(tabId) {
  const target = { tabId, allFrames: true };
  const collected = await api.scripting.executeScript({ target, files: ['collector.js'] });
  const placed = await api.scripting.executeScript({ target, func: questionFromParent });
  const known = (await api.webNavigation.getAllFrames({ tabId })) || [];

  const result = new Map();
  for (const r of collected)
    if (r && r.result && typeof r.result === 'object' && r.result.frames) result.set(r.frameId, r.result.frames);
  const parentOf = new Map();
  for (const f of known) parentOf.set(f.frameId, f.parentFrameId);
  // A child whose own page kept the question from it: the browser's frame of that parent at
  // the element's address.
  function byAddress(parent, url) {
    if (typeof url !== 'string') return undefined;
    const f = known.find((k) => k.parentFrameId === parent && k.url === url && !seen.has(k.frameId) && result.has(k.frameId));
    return f ? f.frameId : undefined;
  }
  // parent frame id -> (question -> child frame id)
  const children = new Map();
  for (const r of placed) {
    if (!r || typeof r.result !== 'string' || !parentOf.has(r.frameId)) continue;
    const parent = parentOf.get(r.frameId);
    if (!children.has(parent)) children.set(parent, new Map());
    children.get(parent).set(r.result, r.frameId);
  }
  const seen = new Set();
  function build(frameId) {
    seen.add(frameId);
    const own = result.get(frameId);
    const mine = children.get(frameId) || new Map();
    const frames = (own.frames || []).map((record) => {
      let id = record && typeof record.asked === 'string' ? mine.get(record.asked) : undefined;
      if (id === undefined && record && record.error) id = byAddress(frameId, record.url);
      if (id === undefined || seen.has(id) || !result.has(id)) return record;
      const child = build(id);
      if (record && record.tag) child.tag = record.tag;
      return child;
    });
    return Object.assign({}, own, { frames });
  }
  if (!result.has(0)) throw new TrovexError(t('pageUnreadableTitle'), t('pageUnreadableText'));
  return { version: collected.find((r) => r.frameId === 0).result.version, frames: build(0) };
}

// Every address a movie of the snapshot may come from, and the frames' own addresses.
function movieAddresses(snapshot) {
  const out = new Set();
  function add(raw, base) {
    if (typeof raw !== 'string' || out.size >= MAX_COOKIE_ADDRESSES) return;
    try {
      const url = new URL(raw.trim(), base || undefined);
      if (url.protocol === 'http:' || url.protocol === 'https:') out.add(url.href);
    } catch (e) { /* not an address */ }
  }
  const stack = [snapshot.frames];
  while (stack.length) {
    const f = stack.pop();
    if (!f || typeof f !== 'object') continue;
    const base = f.base || f.url;
    add(f.url, undefined);
    for (const o of f.objects || []) add(o && o.movie, base);
    for (const e of f.embeds || []) add(e && e.src, base);
    for (const c of f.frames || []) stack.push(c);
  }
  return [...out];
}

// The cookies the browser would send to those addresses, as a Mozilla-format jar.
async function cookieJar(tabId, addresses) {
  let storeId;
  try {
    const stores = await api.cookies.getAllCookieStores();
    const store = stores.find((s) => (s.tabIds || []).includes(tabId));
    if (store) storeId = store.id;
  } catch (e) { /* the default store */ }
  const lines = new Map();
  for (const url of addresses) {
    const details = { url };
    if (storeId !== undefined) details.storeId = storeId;
    let cookies = [];
    try {
      // Partitioned cookies too (a third-party frame's, which Firefox keeps apart by default).
      cookies = await api.cookies.getAll(Object.assign({ partitionKey: {} }, details));
    } catch (e) {
      try { cookies = await api.cookies.getAll(details); } catch (e2) { continue; }
    }
    for (const c of cookies) {
      const domain = c.hostOnly ? c.domain : (c.domain.startsWith('.') ? c.domain : '.' + c.domain);
      const expires = c.session || !c.expirationDate ? 0 : Math.floor(c.expirationDate);
      const line = (c.httpOnly ? '#HttpOnly_' : '') + [domain, c.hostOnly ? 'FALSE' : 'TRUE', c.path,
        c.secure ? 'TRUE' : 'FALSE', String(expires), c.name, c.value].join('\t');
      lines.set(domain + '\t' + c.path + '\t' + c.name, line);
    }
  }
  return '# Netscape HTTP Cookie File\n' + [...lines.values()].map((l) => l + '\n').join('');
}

// One request to the host: connect, send, wait for its one answer. The port stays in `open`
// for the tab while the request runs.
function askHost(tabId, message) {
  return new Promise((resolve, reject) => {
    let port;
    try {
      port = api.runtime.connectNative(HOST);
    } catch (e) {
      reject(new Error(String(e && e.message)));
      return;
    }
    open.set(tabId, port);
    let answered = false;
    port.onMessage.addListener((answer) => {
      answered = true;
      resolve(answer);
      port.disconnect();
    });
    port.onDisconnect.addListener((p) => {
      if (answered) return;
      const why = (p && p.error) || api.runtime.lastError;
      reject(new Error(why && why.message ? why.message : 'no answer'));
    });
    port.postMessage(message);
  });
}

// A notification keeps the command in its first words, where no service cuts it.
function notify(failure) {
  try {
    const message = failure.command ? t('noticeRunCommand', [failure.command]) : failure.message;
    const created = api.notifications.create({ type: 'basic', iconUrl: api.runtime.getURL('icons/button-128.png'),
                                               title: failure.title, message });
    if (created && typeof created.catch === 'function') created.catch(() => {});
  } catch (e) { /* no notification service (Firefox on many desktops): the badge and popup say it */ }
}

// The badge on the action, and its popup with the whole text and the command until the next
// request, so every browser shows it.
async function showFailure(tabId, failure) {
  const query = new URLSearchParams({ tab: String(tabId), title: failure.title, text: failure.message,
                                      command: failure.command });
  try {
    await api.action.setBadgeBackgroundColor({ tabId, color: '#C00000' });
    await api.action.setBadgeText({ tabId, text: '!' });
    await api.action.setTitle({ tabId, title: t('actionTitleFailed', [failure.title]) });
    await api.action.setPopup({ tabId, popup: 'notice.html?' + query.toString() });
  } catch (e) { /* the tab is gone */ }
  notify(failure);
}

async function clearState(tabId, hot) {
  try {
    await api.action.setIcon({ tabId, path: hot ? ICON_HOT : ICON });
    if (!hot) {
      await api.action.setBadgeText({ tabId, text: '' });
      await api.action.setTitle({ tabId, title: t('extName') });
      await api.action.setPopup({ tabId, popup: '' });
    }
  } catch (e) { /* the tab is gone */ }
}

async function run(tab) {
  if (!tab || tab.id === undefined || tab.id < 0) return;
  const tabId = tab.id;
  if (open.has(tabId)) {
    // Null while the snapshot is taken: the dialog is on its way.
    const port = open.get(tabId);
    try {
      if (port) port.postMessage({ version: MESSAGE_VERSION, raise: true });
    } catch (e) { /* the host is going: its answer ends the request */ }
    return;
  }
  open.set(tabId, null);
  await clearState(tabId, true);
  try {
    const snapshot = await takeSnapshot(tabId);
    const cookies = await cookieJar(tabId, movieAddresses(snapshot));
    let answer;
    try {
      answer = await askHost(tabId, { version: MESSAGE_VERSION, snapshot, cookies });
    } catch (e) {
      // The browser's own words stay in the log: they are English and name its internals.
      console.error('connectNative: ' + e.message);
      throw new TrovexError(t('hostMissingTitle'), t('hostMissingText'), REGISTER_COMMAND);
    }
    if (!answer || typeof answer !== 'object')
      throw new TrovexError(t('hostBadAnswerTitle'), t('hostBadAnswerText'));
    if (typeof answer.error === 'string')
      throw new TrovexError(t('hostErrorTitle'), answer.error,
                            answer.error.includes(REGISTER_COMMAND) ? REGISTER_COMMAND : '');
    await clearState(tabId, false);
  } catch (e) {
    await clearState(tabId, false);
    if (!(e instanceof TrovexError)) console.error(String(e && e.message));
    const failure = e instanceof TrovexError ? e : new TrovexError(t('pageFailedTitle'), t('pageFailedText'));
    await showFailure(tabId, failure);
  } finally {
    open.delete(tabId);
  }
}

api.action.onClicked.addListener(run);
api.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId === MENU_ID) run(tab);
});
// The notice's "try again".
api.runtime.onMessage.addListener((message) => {
  if (message && Number.isInteger(message.retry)) run({ id: message.retry });
});

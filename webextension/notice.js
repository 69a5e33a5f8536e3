// The action's popup after a failed request: the whole text and the command to run, which a
// notification may cut or, where no notification service runs, never show.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;
const t = (key) => api.i18n.getMessage(key);
const query = new URLSearchParams(location.search);

document.documentElement.lang = api.i18n.getUILanguage();
document.getElementById('title').textContent = query.get('title') || '';
document.getElementById('text').textContent = query.get('text') || '';
const command = query.get('command') || '';
if (command) {
  document.getElementById('commandLabel').textContent = t('noticeCommandLabel');
  document.getElementById('command').textContent = command;
  document.getElementById('commandBlock').hidden = false;
}
const retry = document.getElementById('retry');
retry.textContent = t('noticeRetry');
retry.addEventListener('click', () => {
  api.runtime.sendMessage({ retry: Number(query.get('tab')) });
  window.close();
});

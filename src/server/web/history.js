// The History view: a projector's snapshots, a comparison of two of them or of one with
// the projector now (parameter names, old → new), and one block brought back after a
// confirmation that names what it overwrites. Uses app.js's api() and projectors.
'use strict';

let historyAddress = 0;
let historyLast = null;  // the comparison shown: {from, to}

function historyById(id) { return document.getElementById(id); }

function historySay(text) { historyById('history-status').textContent = text; }

const HISTORY_REASONS = {
  'manual': 'by hand', 'schedule': 'schedule', 'before-restore': 'before restore', 'before-write': 'before a block write',
  'restored': 'restored',
};

function historyStateText(s) {
  let text = s.state === 'taking' ? 'incomplete: not finished' : s.state + (s.detail ? ': ' + s.detail : '');
  if (s.times > 1) text += ', found so ' + s.times + ' times until ' + new Date(s.last).toLocaleString();
  return text;
}

function historyProjectorsChanged() {
  const select = historyById('history-projector');
  const addresses = [...projectors.keys()].sort((a, b) => a - b);
  const known = [...select.options].map((o) => Number(o.value));
  if (addresses.join() !== known.join()) {
    select.textContent = '';
    for (const a of addresses) {
      const p = projectors.get(a);
      const option = document.createElement('option');
      option.value = String(a);
      option.textContent = 'Projector ' + a + (p && p.model && p.model !== '?' ? ' — ' + p.model : '');
      select.append(option);
    }
    if (addresses.includes(historyAddress)) select.value = String(historyAddress);
  }
  if (!historyAddress && addresses.length) {
    historyAddress = addresses[0];
    select.value = String(historyAddress);
    historyLoad();
  }
}

function historyRender(list) {
  const table = historyById('history-list');
  const body = table.querySelector('tbody');
  body.textContent = '';
  // On a narrow screen each cell stands on its own line under its heading.
  const headings = [...table.querySelectorAll('thead th')].map((th) => th.textContent);
  for (const s of list) {
    const row = document.createElement('tr');
    const pick = document.createElement('input');
    pick.type = 'checkbox';
    pick.value = String(s.id);
    pick.setAttribute('aria-label', 'Select snapshot ' + s.id);
    const first = document.createElement('td');
    first.dataset.label = headings[0];
    first.append(pick);
    row.append(first);
    const cells = [String(s.id), new Date(s.time).toLocaleString(), HISTORY_REASONS[s.reason] || s.reason,
      String(s.blocks), historyStateText(s), s.note];
    cells.forEach((text, i) => {
      const cell = document.createElement('td');
      cell.textContent = text;
      cell.dataset.label = headings[i + 1] || '';
      row.append(cell);
    });
    body.append(row);
  }
  table.hidden = list.length === 0;
  historyById('history-empty').hidden = list.length !== 0;
}

async function historyLoad() {
  if (!historyAddress) return;
  try {
    historyRender((await api('GET', '/api/v1/history?address=' + historyAddress)).snapshots || []);
  } catch (e) {
    historySay('History: ' + e.message);
  }
}

function historySelected() {
  return [...document.querySelectorAll('#history-list tbody input:checked')].map((c) => Number(c.value))
    .sort((a, b) => a - b);
}

function historyChangeTitle(c) {
  return 'Block ' + c.block + ' [' + c.header + '] \u2018' + c.name + '\u2019 (' + c.type + ')';
}

function historyChangeItems(c, reverse) {
  const items = [];
  for (const p of c.parameters) items.push(p.name + ' ' + (reverse ? p.to + ' → ' + p.from : p.from + ' → ' + p.to));
  for (const b of c.bytes) items.push('byte ' + b.offset + ': ' + (reverse ? b.to + ' → ' + b.from : b.from + ' → ' + b.to));
  return items;
}

async function historyCompare(from, to) {
  const box = historyById('history-diff');
  historyLast = { from, to };
  // The old result goes at once; reading a projector takes seconds.
  const live = String(to).startsWith('live:');
  box.textContent = live ? 'Comparing snapshot ' + from + ' with projector ' + historyAddress + ' now: reading it…'
    : 'Comparing snapshot ' + from + ' with snapshot ' + to + '…';
  box.setAttribute('aria-busy', 'true');
  const buttons = ['history-compare', 'history-now'].map(historyById);
  for (const b of buttons) b.disabled = true;
  try {
    const d = await api('GET', '/api/v1/diff?from=' + encodeURIComponent(from) + '&to=' + encodeURIComponent(to));
    if (historyLast.from !== from || historyLast.to !== to) return;  // another comparison was asked meanwhile
    box.textContent = '';
    const head = document.createElement('h3');
    head.textContent = 'Snapshot ' + from + ' → ' + (String(to).startsWith('live:') ? 'now' : 'snapshot ' + to);
    box.append(head);
    for (const text of d.identity || []) {
      const p = document.createElement('p');
      p.textContent = 'Projector ' + d.address + ': ' + text;
      box.append(p);
    }
    if (!d.differ) {
      const p = document.createElement('p');
      p.textContent = 'No differences.';
      box.append(p);
    }
    for (const c of d.changes) {
      const block = document.createElement('div');
      block.className = 'diff-block';
      const title = document.createElement('h4');
      title.textContent = historyChangeTitle(c) + (c.change === 'changed' ? '' : ': ' + c.change);
      block.append(title);
      const items = historyChangeItems(c, false);
      if (items.length) {
        const ul = document.createElement('ul');
        for (const text of items) {
          const li = document.createElement('li');
          li.textContent = text;
          ul.append(li);
        }
        block.append(ul);
      }
      // A block the older snapshot holds can come back from it.
      if (c.change === 'changed' || c.change === 'deleted' || c.change === 'freed') {
        const restore = document.createElement('button');
        restore.type = 'button';
        restore.textContent = 'Restore block ' + c.block + ' from snapshot ' + from;
        restore.addEventListener('click', () => historyAskRestore(from, c, restore));
        block.append(restore);
      }
      box.append(block);
    }
  } catch (e) {
    box.textContent = 'Comparison: ' + e.message;
  } finally {
    box.removeAttribute('aria-busy');
    for (const b of buttons) b.disabled = false;
  }
}

function historyAskRestore(from, change, opener) {
  const dialog = historyById('history-confirm');
  const items = historyChangeItems(change, true);
  historyById('history-confirm-text').textContent = historyChangeTitle(change) + ' of projector ' + historyAddress +
    ' will be overwritten with its settings of snapshot ' + from + (items.length ? ': ' + items.join(', ') : '') +
    '. A snapshot of what is there now is taken first.';
  const yes = historyById('history-confirm-yes');
  const no = historyById('history-confirm-no');
  const close = (go) => {
    yes.onclick = null;
    no.onclick = null;
    dialog.close();
    opener.focus();
    if (go) historyRestore(from, change);
  };
  yes.onclick = () => close(true);
  no.onclick = () => close(false);
  dialog.oncancel = () => close(false);
  dialog.showModal();
  no.focus();
}

async function historyRestore(from, change) {
  historySay('Restoring block ' + change.block + '…');
  try {
    const r = await api('POST', '/api/v1/history/' + from + '/restore', { blocks: [change.header] });
    const line = (r.blocks || []).map((b) => b.block + ': ' + b.text).join('; ');
    historySay(line + (r.before ? '; snapshot ' + r.before + ' holds what was there before' : '') +
      (r.after ? '; snapshot ' + r.after + ' holds the restored settings, which drift compares with from now on' : ''));
  } catch (e) {
    historySay('Restore: ' + e.message);
  }
  await historyLoad();
  if (historyLast) historyCompare(historyLast.from, historyLast.to);
}

async function historyTake() {
  if (!historyAddress) return;
  historySay('Taking a snapshot of projector ' + historyAddress + '…');
  try {
    const r = await api('POST', '/api/v1/projectors/' + historyAddress + '/snapshot', {});
    historySay('Snapshot ' + r.snapshot + ': ' + r.blocks + ' blocks' + (r.repeated ? ', as it was' : '') +
      (r.drift ? ', differs from snapshot ' + r.previous : ''));
  } catch (e) {
    historySay('Snapshot: ' + e.message);
  }
  historyLoad();
}

function historyEvent(e) {
  if (e.event === 'snapshot' || e.event === 'connected' || e.event === 'lost' || e.event === 'found') {
    setTimeout(historyProjectorsChanged, 0);
  } else if ((e.event === 'snapshot taken' || e.event === 'drift') && e.address === historyAddress) {
    // The status line tells the latest thing that happened, not the last click's answer.
    if (e.text) historySay((e.event === 'drift' ? 'Drift: ' : 'Snapshot taken: ') + e.text);
    historyLoad();
  }
}

historyById('history-projector').addEventListener('change', (ev) => {
  historyAddress = Number(ev.target.value);
  historyById('history-diff').textContent = '';
  historyLast = null;
  historyLoad();
});
historyById('history-take').addEventListener('click', historyTake);
historyById('history-compare').addEventListener('click', () => {
  const ids = historySelected();
  if (ids.length !== 2) return historySay('Select two snapshots to compare.');
  historyCompare(ids[0], ids[1]);
});
historyById('history-now').addEventListener('click', () => {
  const ids = historySelected();
  if (ids.length !== 1) return historySay('Select one snapshot to compare with now.');
  historyCompare(ids[0], 'live:' + historyAddress);
});

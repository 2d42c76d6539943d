// The web console: cards from the server's state, updated from its event stream; every
// control posts one API command. No polling, nothing loaded from elsewhere.
'use strict';

const TOKEN_KEY = 'ombrix-token';
const projectors = new Map();  // address -> state object
let groups = [];
let stream = null;
let lineUp = true;
// While the server searches (at its start, or asked to) no command can reach a projector.
let searching = false;
// Projectors being woken by a power-on from this page: they warm up for 10 s and more.
const warming = new Set();

function token() { return sessionStorage.getItem(TOKEN_KEY) || ''; }

function headers(extra) {
  const h = Object.assign({}, extra || {});
  if (token()) h['Authorization'] = 'Bearer ' + token();
  return h;
}

// withResults: a refusal that carries per-projector results (a group's 502) is an answer.
async function api(method, path, body, withResults) {
  const init = { method, headers: headers(body !== undefined ? { 'Content-Type': 'application/json' } : {}) };
  if (body !== undefined) init.body = JSON.stringify(body);
  const res = await fetch(path, init);
  if (res.status === 401) { askToken('The server needs an access token.'); throw new Error('a token is needed'); }
  let data = {};
  try { data = await res.json(); } catch (e) { data = {}; }
  if (!res.ok && !(withResults && Array.isArray(data.results))) throw new Error(data.error || ('HTTP ' + res.status));
  return data;
}

function askToken(why) {
  const form = document.getElementById('token-form');
  form.hidden = false;
  document.getElementById('token-error').textContent = why || '';
  document.getElementById('token').focus();
}

document.getElementById('token-form').addEventListener('submit', (ev) => {
  ev.preventDefault();
  sessionStorage.setItem(TOKEN_KEY, document.getElementById('token').value.trim());
  document.getElementById('token-form').hidden = true;
  start();
});

function stateClass(state) {
  switch (state) {
    case 'Operating': return 'operating';
    case 'Pause': return 'pause';
    case 'StandBy': return 'standby';
    case 'Lost': return 'lost';
    default: return 'unknown';
  }
}

function stateWord(state) {
  return { Operating: 'operating', Pause: 'pause', StandBy: 'standby', Lost: 'lost' }[state] || 'unknown';
}

// What a card can say of a projector now: nothing while the line is lost or the
// projector is, and "warming up" while a power-on from here wakes it.
function shownState(p) {
  if (!lineUp || p.state === 'unknown') return 'unknown';
  if (p.lost || p.state === 'Lost') return 'Lost';
  if (warming.has(p.address) && p.state !== 'Operating' && p.state !== 'Pause') return 'warming';
  return p.state;
}

function showLine() {
  const line = document.getElementById('line');
  line.textContent = !lineUp ? 'Line: lost' : searching ? 'Line: searching for projectors…' : 'Line: up';
  line.className = 'banner ' + (!lineUp ? 'lost' : searching ? 'searching' : 'up');
}

// The search held every button; they follow it.
function setSearching(on) {
  if (on === searching) return;
  searching = on;
  showLine();
  for (const p of projectors.values()) render(p);
  holdGroups();
}

function holdGroups() {
  document.querySelectorAll('.card.group').forEach((card) => {
    if (!card.dataset.busy) card.querySelectorAll('button, input').forEach((el) => { el.disabled = searching || !lineUp; });
  });
}

function setLine(up) {
  const changed = up !== lineUp;
  lineUp = up;
  showLine();
  if (!changed) return;
  holdGroups();
  // Every card follows: unknown while the line is down, the projectors read again once back.
  for (const p of projectors.values()) render(p);
  if (up) {
    api('GET', '/api/v1/projectors').then((r) => { for (const p of r.projectors || []) update(p); }).catch(() => {});
  }
}

// A control locked while its command runs: a second click cannot send the same
// command again before the first one's answer is in.
async function busy(card, button, work) {
  if (card.dataset.busy) return;
  card.dataset.busy = 'true';
  button.setAttribute('aria-busy', 'true');
  card.querySelectorAll('button, input').forEach((el) => { el.disabled = true; });
  try {
    await work();
  } finally {
    delete card.dataset.busy;
    button.removeAttribute('aria-busy');
    const p = card.dataset.address ? projectors.get(Number(card.dataset.address)) : null;
    if (p) render(p); else card.querySelectorAll('button, input').forEach((el) => { el.disabled = searching || !lineUp; });
  }
}

function logEvent(text) {
  const log = document.getElementById('log');
  const item = document.createElement('li');
  item.textContent = new Date().toLocaleTimeString() + ' ' + text;
  log.prepend(item);
  while (log.children.length > 50) log.lastChild.remove();
}

function keypad(container, send) {
  for (let d = 1; d <= 10; d++) {
    const digit = d % 10;
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = String(digit);
    b.setAttribute('aria-label', 'Key ' + digit);
    b.addEventListener('click', () => send('key', { code: 0x10 + digit }, b));
    container.append(b);
  }
}

function buildControls(card, label, send, current) {
  card.querySelectorAll('[data-action]').forEach((b) => {
    const action = b.dataset.action;
    if (action === 'source') {
      b.addEventListener('click', () => busy(card, b, () => {
        const slot = parseInt(card.querySelector('.slot').value, 10);
        return send('source', { slot });
      }));
    } else {
      b.addEventListener('click', () => busy(card, b, () => {
        const on = current ? !isOn(current(), action) : b.dataset.next !== 'off';
        return send(action, { on });
      }));
    }
  });
  card.querySelector('.slot').setAttribute('aria-label', 'Source slot for ' + label);
  keypad(card.querySelector('.keypad'), (action, body, button) => busy(card, button, () => send(action, body)));
}

function isOn(p, action) {
  if (!p) return false;
  if (action === 'power') return p.state === 'Operating' || p.state === 'Pause';
  if (action === 'pause') return p.state === 'Pause';
  return p.textOn === 1;
}

function cardFor(address) {
  let card = document.querySelector('.card[data-address="' + address + '"]');
  if (card) return card;
  card = document.getElementById('card-template').content.firstElementChild.cloneNode(true);
  card.dataset.address = String(address);
  const result = card.querySelector('.result');
  const send = async (action, body) => {
    result.textContent = action + '…';
    const waking = action === 'power' && body.on;
    if (waking) {
      warming.add(address);
      const p = projectors.get(address);
      if (p) render(p);
    }
    try {
      const r = await api('POST', '/api/v1/projectors/' + address + '/' + action, body);
      result.textContent = action + ': done';
      if (r.projector) update(r.projector);
    } catch (e) {
      result.textContent = action + ': ' + e.message;
    } finally {
      if (waking) {
        warming.delete(address);
        const p = projectors.get(address);
        if (p) render(p);
      }
    }
  };
  buildControls(card, 'projector ' + address, send, () => projectors.get(address));
  const cards = document.getElementById('cards');
  const after = [...cards.children].find((c) => Number(c.dataset.address) > address);
  cards.insertBefore(card, after || null);
  return card;
}

function render(p) {
  const card = cardFor(p.address);
  const state = shownState(p);
  card.className = 'card ' + (state === 'warming' ? 'warming' : stateClass(state));
  const word = state === 'warming' ? 'warming up' : stateWord(state);
  card.querySelector('.title').textContent = 'Projector ' + p.address + ' — ' + p.model;
  card.querySelector('.state').textContent = word;
  // A projector that cannot be asked has no values to show: what it said last may be
  // long gone.
  const known = state !== 'Lost' && state !== 'unknown';
  card.querySelector('.hours').textContent =
    known && p.runtime !== undefined ? 'Running hours: ' + p.runtime : 'Running hours: unknown';
  card.setAttribute('aria-label', 'Projector ' + p.address + ', ' + p.model + ', ' + word);
  const locked = !known || searching || Boolean(card.dataset.busy);
  card.querySelectorAll('button, input').forEach((el) => { el.disabled = locked; });
  card.querySelectorAll('.toggles [data-action]').forEach((b) => {
    const name = b.dataset.action.charAt(0).toUpperCase() + b.dataset.action.slice(1);
    if (!known) {
      b.removeAttribute('aria-pressed');
      b.textContent = name;
      return;
    }
    const on = isOn(p, b.dataset.action);
    b.setAttribute('aria-pressed', on ? 'true' : 'false');
    b.textContent = name + (on ? ': on' : ': off');
  });
  document.getElementById('empty').hidden = projectors.size > 0;
}

function update(p) {
  // A projector in standby reports no type: the card keeps the model it last showed.
  const before = projectors.get(p.address);
  if (p.model === '?' && before && before.model !== '?') p = Object.assign({}, p, { model: before.model });
  projectors.set(p.address, p);
  render(p);
}

function renderGroups() {
  const box = document.getElementById('groups');
  box.textContent = '';
  for (const g of groups) {
    const card = document.getElementById('card-template').content.firstElementChild.cloneNode(true);
    card.classList.add('group');
    card.dataset.group = g.name;
    card.querySelector('.title').textContent = 'Group ' + g.name;
    card.querySelector('.state-line').textContent = 'Members: ' + (g.members.length ? g.members.join(', ') : 'none');
    card.querySelector('.hours').remove();
    // One line per member: what the group's command is doing there, then what it came to.
    const list = document.createElement('ul');
    list.className = 'members';
    list.setAttribute('aria-label', 'Members of group ' + g.name);
    const lines = new Map();
    for (const m of g.members) {
      const li = document.createElement('li');
      li.dataset.member = String(m);
      list.append(li);
      lines.set(m, li);
    }
    card.querySelector('.state-line').after(list);
    const result = card.querySelector('.result');
    const send = async (action, body) => {
      result.textContent = action + '…';
      for (const [m, li] of lines) li.textContent = 'Projector ' + m + ': ' + action + '…';
      try {
        const r = await api('POST', '/api/v1/groups/' + encodeURIComponent(g.name) + '/' + action, body, true);
        showMemberResults(lines, r.results || []);
        result.textContent = action + ': ' + groupSummary(g.members, r.results || []);
      } catch (e) {
        for (const li of lines.values()) li.textContent = '';
        result.textContent = action + ': ' + e.message;
      }
    };
    // A group has no single state: each toggle offers "on" and "off".
    card.querySelectorAll('.toggles [data-action]').forEach((b) => {
      const off = b.cloneNode(true);
      b.textContent = b.dataset.action.charAt(0).toUpperCase() + b.dataset.action.slice(1) + ' on';
      off.textContent = b.dataset.action.charAt(0).toUpperCase() + b.dataset.action.slice(1) + ' off';
      off.dataset.next = 'off';
      b.after(off);
    });
    buildControls(card, 'group ' + g.name, send, null);
    box.append(card);
  }
  holdGroups();
}

function memberWord(r) {
  if (r.skipped) return r.skipped === 'standby' ? 'in standby' : r.skipped;
  if (r.ok) return 'done';
  return 'failed' + (r.error ? ' (' + r.error + ')' : '');
}

function showMemberResults(lines, results) {
  for (const [m, li] of lines) {
    const r = results.find((x) => x.address === m);
    li.textContent = 'Projector ' + m + ': ' + (r ? memberWord(r) : 'not sent');
  }
}

// "2 of 3 done, 12 in standby": every member that did not do it is named.
function groupSummary(members, results) {
  const done = results.filter((r) => r.ok).length;
  const others = results.filter((r) => !r.ok).map((r) => r.address + ' ' + memberWord(r));
  return done + ' of ' + members.length + ' done' + (others.length ? ', ' + others.join(', ') : '');
}

async function loadGroups() {
  try {
    groups = (await api('GET', '/api/v1/groups')).groups || [];
    renderGroups();
  } catch (e) { /* shown by the token prompt or the banner */ }
}

function describeTarget(t) {
  if (t === 'all') return 'all projectors';
  if (t.group !== undefined) return 'group ' + t.group;
  return 'projector ' + t.address;
}

function describeAction(a) {
  for (const k of ['power', 'pause', 'text']) if (a[k] !== undefined) return k + (a[k] ? ' on' : ' off');
  if (a.source) return 'source ' + a.source.slot;
  if (a.key !== undefined) return 'key ' + a.key;
  if (a.snapshot) return 'snapshot';
  return JSON.stringify(a);
}

// The server's own wall time, as the schedules are written in it, whatever the zone of
// the device showing the page.
function shownTime(iso) {
  if (!iso) return 'none';
  const day = new Date(iso.slice(0, 10) + 'T00:00:00Z');
  const week = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'][day.getUTCDay()] || '';
  return (week ? week + ' ' : '') + iso.slice(0, 10) + ' ' + iso.slice(11, 16);
}

function renderSchedules(list) {
  const table = document.getElementById('schedules');
  const body = table.querySelector('tbody');
  body.textContent = '';
  for (const s of list) {
    const row = document.createElement('tr');
    const last = s.last ? shownTime(s.last) + (s.last_ok ? ' (done)' : ' (failed)') : 'none';
    const headings = [...table.querySelectorAll('thead th')].map((th) => th.textContent);
    [s.name, s.days.join(', ') + ' ' + s.time, describeTarget(s.target), describeAction(s.action), shownTime(s.next), last]
      .forEach((text, i) => {
        const cell = document.createElement('td');
        cell.textContent = text;
        // On a narrow screen each cell stands on its own line under its heading.
        cell.dataset.label = headings[i] || '';
        row.append(cell);
      });
    body.append(row);
  }
  table.hidden = list.length === 0;
  document.getElementById('no-schedules').hidden = list.length !== 0;
}

async function loadSchedules() {
  try {
    renderSchedules(await api('GET', '/api/v1/schedules'));
  } catch (e) { /* shown by the token prompt or the banner */ }
}

function onEvent(e) {
  if (typeof historyEvent === 'function') historyEvent(e);
  switch (e.event) {
    case 'snapshot':
      setLine(e.line === 'up');
      for (const p of e.projectors) update(p);
      api('GET', '/api/v1/projectors').then((r) => setSearching(Boolean(r.searching))).catch(() => {});
      loadGroups();
      loadSchedules();
      return;
    case 'search':
      setSearching(Boolean(e.running));
      logEvent(e.text || 'search');
      return;
    case 'schedule':
      logEvent('schedule ' + e.name + ': ' + (e.ok ? 'done' : 'failed' + (e.error ? ' (' + e.error + ')' : '')));
      loadSchedules();
      return;
    case 'line lost': setLine(false); logEvent(e.text || 'line lost'); return;
    case 'line back': setLine(true); logEvent(e.text || 'line back'); return;
    default:
      if (e.projector) update(e.projector);
      if (['lost', 'connected', 'found'].includes(e.event)) loadGroups();
      // An event that tells what happened (a drift names its parameters) says it.
      logEvent(e.event + (e.address ? ' ' + e.address : '') + (e.projector ? ' (' + stateWord(e.projector.state) + ')' : '') +
        (e.text ? ': ' + e.text : ''));
  }
}

function parseChunk(buffer, handle) {
  let cut;
  while ((cut = buffer.indexOf('\n\n')) >= 0) {
    const block = buffer.slice(0, cut);
    buffer = buffer.slice(cut + 2);
    const data = block.split('\n').filter((l) => l.startsWith('data: ')).map((l) => l.slice(6)).join('\n');
    if (data) handle(JSON.parse(data));
  }
  return buffer;
}

// With a token the stream is read through fetch, which can send the Authorization
// header; without one the browser's EventSource does it and reconnects by itself.
async function listen() {
  if (!token()) {
    stream = new EventSource('/api/v1/events');
    stream.onmessage = (m) => onEvent(JSON.parse(m.data));
    stream.onerror = () => {
      const closed = stream.readyState === EventSource.CLOSED;
      // The server answered: it wants a token, which is no reason to say it is away.
      fetch('/api/v1/projectors').then((r) => {
        if (r.status === 401) {
          stream.close();
          document.getElementById('line').textContent = 'Sign in: the server needs its access token';
          askToken('The server needs an access token.');
          return;
        }
        document.getElementById('line').textContent = 'Server unreachable, retrying…';
        // Refused otherwise (every stream taken: 503): the browser gives up on it, so ask again later.
        if (closed) setTimeout(start, 10000);
      }, () => { document.getElementById('line').textContent = 'Server unreachable, retrying…'; });
    };
    return;
  }
  for (;;) {
    try {
      const res = await fetch('/api/v1/events', { headers: headers() });
      if (res.status === 401) {
        document.getElementById('line').textContent = 'Sign in: the token was refused';
        askToken('The token was refused.');
        return;
      }
      const reader = res.body.getReader();
      const decoder = new TextDecoder();
      let buffer = '';
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer = parseChunk(buffer + decoder.decode(value, { stream: true }), onEvent);
      }
    } catch (e) { /* reconnect below */ }
    document.getElementById('line').textContent = 'Server unreachable, retrying…';
    await new Promise((r) => setTimeout(r, 3000));
  }
}

function start() {
  if (stream) stream.close();
  listen();
}

start();

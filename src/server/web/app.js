// The web console: cards from the server's state, updated from its event stream; every
// control posts one API command. No polling, nothing loaded from elsewhere.
'use strict';

const TOKEN_KEY = 'ombrix-token';
const projectors = new Map();  // address -> state object
let groups = [];
let stream = null;

function token() { return sessionStorage.getItem(TOKEN_KEY) || ''; }

function headers(extra) {
  const h = Object.assign({}, extra || {});
  if (token()) h['Authorization'] = 'Bearer ' + token();
  return h;
}

async function api(method, path, body) {
  const init = { method, headers: headers(body !== undefined ? { 'Content-Type': 'application/json' } : {}) };
  if (body !== undefined) init.body = JSON.stringify(body);
  const res = await fetch(path, init);
  if (res.status === 401) { askToken('The server needs an access token.'); throw new Error('a token is needed'); }
  let data = {};
  try { data = await res.json(); } catch (e) { data = {}; }
  if (!res.ok) throw new Error(data.error || ('HTTP ' + res.status));
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

function setLine(up) {
  const line = document.getElementById('line');
  line.textContent = up ? 'Line: up' : 'Line: lost';
  line.className = 'banner ' + (up ? 'up' : 'lost');
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
    b.addEventListener('click', () => send('key', { code: 0x10 + digit }));
    container.append(b);
  }
}

function buildControls(card, label, send, current) {
  card.querySelectorAll('[data-action]').forEach((b) => {
    const action = b.dataset.action;
    if (action === 'source') {
      b.addEventListener('click', () => {
        const slot = parseInt(card.querySelector('.slot').value, 10);
        send('source', { slot });
      });
    } else {
      b.addEventListener('click', () => {
        const on = current ? !isOn(current(), action) : b.dataset.next !== 'off';
        send(action, { on });
      });
    }
  });
  card.querySelector('.slot').setAttribute('aria-label', 'Source slot for ' + label);
  keypad(card.querySelector('.keypad'), send);
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
    try {
      const r = await api('POST', '/api/v1/projectors/' + address + '/' + action, body);
      result.textContent = action + ': done';
      if (r.projector) update(r.projector);
    } catch (e) {
      result.textContent = action + ': ' + e.message;
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
  card.className = 'card ' + stateClass(p.state);
  const word = stateWord(p.state);
  card.querySelector('.title').textContent = 'Projector ' + p.address + ' — ' + p.model;
  card.querySelector('.state').textContent = word;
  card.querySelector('.hours').textContent =
    p.runtime !== undefined ? 'Running hours: ' + p.runtime : 'Running hours: unknown';
  card.setAttribute('aria-label', 'Projector ' + p.address + ', ' + p.model + ', ' + word);
  const lost = p.state === 'Lost';
  card.querySelectorAll('button, input').forEach((el) => { el.disabled = lost; });
  card.querySelectorAll('.toggles [data-action]').forEach((b) => {
    const on = isOn(p, b.dataset.action);
    b.setAttribute('aria-pressed', on ? 'true' : 'false');
    b.textContent = b.dataset.action.charAt(0).toUpperCase() + b.dataset.action.slice(1) + (on ? ': on' : ': off');
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
    const result = card.querySelector('.result');
    const send = async (action, body) => {
      result.textContent = action + '…';
      try {
        const r = await api('POST', '/api/v1/groups/' + encodeURIComponent(g.name) + '/' + action, body);
        result.textContent = action + (r.ok ? ': done' : ': not every projector did it');
      } catch (e) {
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
    for (const text of [s.name, s.days.join(', ') + ' ' + s.time, describeTarget(s.target), describeAction(s.action), shownTime(s.next), last]) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.append(cell);
    }
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
  switch (e.event) {
    case 'snapshot':
      setLine(e.line === 'up');
      for (const p of e.projectors) update(p);
      loadGroups();
      loadSchedules();
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
      logEvent(e.event + (e.address ? ' ' + e.address : '') + (e.projector ? ' (' + stateWord(e.projector.state) + ')' : ''));
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
      document.getElementById('line').textContent = 'Server unreachable, retrying…';
      fetch('/api/v1/projectors').then((r) => { if (r.status === 401) { stream.close(); askToken('The server needs an access token.'); } });
    };
    return;
  }
  for (;;) {
    try {
      const res = await fetch('/api/v1/events', { headers: headers() });
      if (res.status === 401) { askToken('The token was refused.'); return; }
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

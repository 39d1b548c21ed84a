// The live board: draws what the server sends over its live channel, says
// when the data are not current, and opens the channel again by itself.
'use strict';

const SilentLimitMs = 5000;   // the server speaks every 2 s
const RetryMs = 1000;
const LinesColumns = ['ZE', 'DO', 'množství t', 'partie', 'čas'];

let socket = null;
let board = null;
let siloPage = null;
let live = false;
let since = '';
let lastHeard = 0;

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function currentView() {
  const match = /^#silo\/(\d+)(?:\/(\d+))?$/.exec(location.hash);
  return match ? { silo: Number(match[1]), page: Number(match[2] || 1) } : { silo: 0, page: 1 };
}

// The stock in tonnes, and the capacity below it or, on the wall, beside it:
// "20,000 t" over "kapacita 40,000 t", or "20,000 / 40,000 t".
function stockLine(silo) {
  const line = element('div', 'stock');
  const stock = element('b', '', silo.stock);
  stock.append(element('span', 'unit', ' t'));
  const capacity = element('span', 'capacity');
  capacity.append(element('span', 'word', 'kapacita '), silo.capacity + ' t');
  line.append(stock, capacity);
  return line;
}

function siloItem(silo) {
  const item = element('li', 'silo');
  const link = element('a');
  link.href = '#silo/' + silo.silo;
  link.append(element('span', 'percent', silo.percent), element('div', 'label', silo.label),
    element('div', 'lot', silo.lot || '—'),
    element('div', 'kind', [silo.species, silo.variety].filter(Boolean).join(', ') || '\u00a0'),
    stockLine(silo));
  const bar = element('div', 'bar');
  const seed = element('span');
  seed.style.width = (silo.fill * 100).toFixed(1) + '%';
  bar.append(seed);
  link.append(bar);
  item.append(link);
  return item;
}

function fillLines(table, lines) {
  const head = element('tr');
  LinesColumns.forEach((name) => head.append(element('th', '', name)));
  const rows = lines.map((line) => {
    const row = element('tr', line.reversed ? 'reversed' : '');
    if (line.reversed) row.title = 'stornováno';
    row.append(element('td', '', line.from), element('td', '', line.to), element('td', 'num', line.quantity),
      element('td', '', line.lot), element('td', 'num', line.time));
    return row;
  });
  table.replaceChildren(head, ...rows);
}

function drawState() {
  const state = document.getElementById('state');
  state.textContent = live ? 'aktuální, údaje z ' + since
    : since ? 'spojení přerušeno, údaje z ' + since : 'spojení přerušeno';
  state.classList.toggle('lost', !live);
  document.body.classList.toggle('stale', !live);
}

function drawFront() {
  document.getElementById('silos').replaceChildren(...board.silos.map(siloItem));
  fillLines(document.getElementById('journal'), board.journal);
}

function drawSilo(view) {
  const silo = board.silos.find((s) => s.silo === view.silo);
  document.getElementById('siloRow').replaceChildren(...(silo ? [siloItem(silo)] : []));
  const page = siloPage && siloPage.silo === view.silo && siloPage.page === view.page ? siloPage : null;
  fillLines(document.getElementById('siloJournal'), page ? page.lines : []);
  const newer = document.getElementById('newer');
  const older = document.getElementById('older');
  newer.href = '#silo/' + view.silo + '/' + Math.max(1, view.page - 1);
  older.href = '#silo/' + view.silo + '/' + (view.page + 1);
  newer.setAttribute('aria-disabled', String(view.page <= 1));
  older.setAttribute('aria-disabled', String(!(page && page.more)));
  document.getElementById('pageNo').textContent = 'strana ' + view.page;
}

function draw() {
  const view = currentView();
  document.getElementById('front').hidden = view.silo !== 0;
  document.getElementById('silo').hidden = view.silo === 0;
  drawState();
  if (!board) return;
  if (view.silo === 0) drawFront(); else drawSilo(view);
}

function tellView() {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(currentView()));
}

function lose() {
  live = false;
  drawState();
}

function connect() {
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  socket = new WebSocket(scheme + location.host + '/live');
  socket.onopen = tellView;
  socket.onmessage = (event) => {
    lastHeard = Date.now();
    const message = JSON.parse(event.data);
    if (message.type === 'status') {
      live = message.live;
      if (message.since) since = message.since;
      drawState();
      return;
    }
    if (message.type === 'board') board = message;
    else if (message.type === 'silo') siloPage = message;
    draw();
  };
  socket.onclose = () => {
    socket = null;
    lose();
    setTimeout(connect, RetryMs);
  };
  lastHeard = Date.now();
}

// A channel that went silent without closing is given up and opened again.
setInterval(() => {
  if (socket && Date.now() - lastHeard > SilentLimitMs) {
    const silent = socket;
    socket = null;
    silent.onclose = null;
    silent.onmessage = null;
    silent.close();
    lose();
    setTimeout(connect, RetryMs);
  }
}, RetryMs);

window.addEventListener('hashchange', () => { draw(); tellView(); });
draw();
connect();

// SPDX-License-Identifier: Apache-2.0
// The live page: polls /api/units, redraws what changed. Every text from the station is a unit's
// or a file's and hostile, so it is only ever set with textContent or as a property; nothing
// here writes markup.
'use strict';

(function () {
  const POLL_MS = 500;  // a change shows within a second
  const RUNNING = new Set(['claimed', 'connecting', 'resetting', 'erasing', 'programming',
                           'verifying']);
  const STAGE_WORDS = {
    waiting: 'Waiting', claimed: 'Claimed', connecting: 'Connecting', resetting: 'Resetting',
    erasing: 'Erasing', programming: 'Programming', verifying: 'Verifying',
    verified: 'Verified', failed: 'Failed', attention: 'Needs attention',
    interrupted: 'Interrupted', elsewhere: 'Another station', ignored: 'Outside the filter',
  };

  const $ = (id) => document.getElementById(id);
  const cards = new Map();  // mac -> { root, parts, data, at }
  let version = '';
  let rowsSeen = null;      // verified + failed, to know when the record grew
  let recordsWanted = true;
  let recordsBusy = false;
  let filterTimer = 0;

  function make(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function setText(id, value) {
    $(id).textContent = value === null || value === undefined ? '–' : String(value);
  }

  function hex(value, digits) {
    return '0x' + Number(value).toString(16).toUpperCase().padStart(digits, '0');
  }

  function duration(ms) {
    const s = Math.max(0, Math.floor(ms / 1000));
    const m = Math.floor(s / 60);
    return m > 0 ? m + ' min ' + String(s % 60).padStart(2, '0') + ' s' : s + ' s';
  }

  function resultOf(unit) {
    const stage = unit.stage;
    const word = STAGE_WORDS[stage] || String(stage);
    const message = unit.message ? ': ' + unit.message : '';
    if (stage === 'verified') return { tone: 'ok', text: 'Verified' };
    if (stage === 'failed' || stage === 'interrupted') return { tone: 'bad', text: word + message };
    if (stage === 'attention') {
      return { tone: 'warn', text: 'Needs attention (' + unit.failures + ' failures)' + message };
    }
    if (RUNNING.has(stage)) return { tone: 'run', text: word };
    return { tone: 'muted', text: word + message };
  }

  function newCard() {
    const root = make('article', 'card');
    const parts = {
      name: make('div', 'name'),
      mac: make('div', 'meta mono'),
      address: make('div', 'meta mono'),
      bar: make('progress'),
      line: make('div', 'meta'),
      result: make('div', 'result'),
    };
    parts.bar.max = 100;
    root.append(parts.name, parts.mac, parts.address, parts.bar, parts.line, parts.result);
    return { root, parts, data: null, at: 0 };
  }

  function drawCard(card) {
    const u = card.data;
    const p = card.parts;
    const result = resultOf(u);
    card.root.className = 'card ' + result.tone;
    card.root.dataset.mac = u.mac;
    card.root.dataset.stage = u.stage;
    p.name.textContent = u.name || '(no name)';
    p.mac.textContent = u.mac;
    p.address.textContent = u.address;
    p.bar.value = u.percent;
    p.bar.textContent = u.percent + ' %';
    let elapsed = u.elapsed_ms;
    if (u.started && !u.ended) elapsed += performance.now() - card.at;
    p.line.textContent = u.percent + ' %' + (u.started ? ' · ' + duration(elapsed) : '');
    p.result.textContent = result.text;
  }

  function drawUnits(units, at) {
    const box = $('cards');
    const seen = new Set();
    let previous = null;
    for (const u of units) {
      seen.add(u.mac);
      let card = cards.get(u.mac);
      if (!card) {
        card = newCard();
        cards.set(u.mac, card);
      }
      card.data = u;
      card.at = at;
      drawCard(card);
      // Keep the station's order without moving cards that are already in place.
      const want = previous ? previous.nextSibling : box.firstChild;
      if (want !== card.root) box.insertBefore(card.root, want);
      previous = card.root;
    }
    for (const [mac, card] of cards) {
      if (!seen.has(mac)) {
        card.root.remove();
        cards.delete(mac);
      }
    }
    $('no-units').hidden = units.length > 0;
  }

  function drawFirmware(fw) {
    setText('fw-file', fw.file || null);
    const sha = $('fw-sha');
    sha.textContent = fw.sha256 ? fw.sha256.slice(0, 16) + '…' : '–';
    sha.title = fw.sha256 || '';
    setText('fw-crc', fw.file ? hex(fw.crc, 4) : null);
    setText('fw-range', fw.file ? hex(fw.start, 8) + ', ' + fw.length + ' bytes' : null);
    const refused = $('fw-refused');
    refused.hidden = !fw.reload_refused;
    refused.textContent = fw.reload_refused
      ? 'Reload refused: ' + fw.reload_refused.replace(/\.$/, '') +
        '. The firmware above stays in force.' : '';
  }

  function drawLine(line, at) {
    setText('station', line.station);
    $('database-down').hidden = !line.database_down;
    drawFirmware(line.firmware);
    setText('n-verified', line.counts.verified);
    setText('n-failed', line.counts.failed);
    setText('n-running', line.counts.in_progress);
    setText('n-hour', line.counts.verified_last_hour);
    drawUnits(line.units, at);
    const rows = line.counts.verified === null ? null
      : line.counts.verified + line.counts.failed;
    if (rows !== rowsSeen) {
      rowsSeen = rows;
      recordsWanted = true;
    }
  }

  function status(text, bad) {
    const s = $('status');
    s.textContent = text;
    s.className = bad ? 'status bad' : 'status';
  }

  function recordQuery(limit) {
    const q = new URLSearchParams();
    const mac = $('mac').value.trim();
    if (mac) q.set('mac', mac);
    if ($('failed').checked) q.set('failed', '1');
    if (limit) q.set('limit', String(limit));
    return q.toString();
  }

  function drawRecords(records) {
    const body = $('records').tBodies[0];
    const rows = records.map((r) => {
      const tr = make('tr', r.outcome === 'verified' ? 'ok' : 'bad');
      const ended = (r.ended || '').replace('T', ' ').replace(/\.\d+Z$/, '');
      const cells = [ended, r.mac, r.name, r.address, r.outcome, r.message, r.firmware,
                     r.station];
      const classes = ['nowrap', 'mono nowrap', '', 'mono', 'outcome', '', '', ''];
      cells.forEach((text, i) => tr.append(make('td', classes[i], text)));
      return tr;
    });
    body.replaceChildren(...rows);
  }

  async function loadRecords() {
    if (recordsBusy || !recordsWanted) return;
    recordsBusy = true;
    recordsWanted = false;
    const error = $('records-error');
    try {
      const r = await fetch('/api/records?' + recordQuery(200), { cache: 'no-store' });
      const answer = await r.json();
      if (!r.ok) throw new Error(answer.error || 'HTTP ' + r.status);
      drawRecords(answer.records);
      error.hidden = true;
    } catch (e) {
      error.textContent = 'Records: ' + e.message;
      error.hidden = false;
      recordsWanted = true;
    } finally {
      recordsBusy = false;
    }
  }

  function filterChanged() {
    const all = recordQuery(100000);
    $('csv').href = '/api/records.csv?' + all;
    $('json').href = '/api/records?' + all;
    clearTimeout(filterTimer);
    filterTimer = setTimeout(() => { recordsWanted = true; loadRecords(); }, 200);
  }

  async function poll() {
    try {
      const r = await fetch('/api/units?version=' + encodeURIComponent(version),
                            { cache: 'no-store' });
      if (r.status === 401) {
        window.location.assign('/login');
        return;
      }
      if (!r.ok) throw new Error('HTTP ' + r.status);
      const line = await r.json();
      if (!line.unchanged) {
        version = line.version;
        drawLine(line, performance.now());
      }
      status('Live · ' + new Date().toLocaleTimeString(), false);
      loadRecords();
    } catch (e) {
      status('No answer from the station (' + e.message + '); trying again', true);
    }
    setTimeout(poll, POLL_MS);
  }

  // Elapsed times move on between polls.
  function tick() {
    for (const card of cards.values()) {
      if (card.data && card.data.started && !card.data.ended) drawCard(card);
    }
  }

  document.addEventListener('DOMContentLoaded', () => {
    $('mac').addEventListener('input', filterChanged);
    $('failed').addEventListener('change', filterChanged);
    $('filter').addEventListener('submit', (e) => e.preventDefault());
    filterChanged();
    poll();
    setInterval(tick, 1000);
  });
}());

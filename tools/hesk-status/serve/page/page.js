// The live view page: reads api/status once a second (the first time with
// the rate history of the last minutes), draws the rate charts on canvases
// and fills the tables. Texts from the manager go into the page as text
// only, never as markup.
'use strict';

(function () {
  const POINTS = 600;  // ten minutes at one reading a second
  const KEYS = ['set_up', 'completed', 'freed', 'dropped', 'reclaims'];
  const COUNT_OF = {
    set_up: 'events_set_up', completed: 'events_completed', freed: 'events_freed',
    dropped: 'datagrams_dropped', reclaims: 'monitor_reclaims',
  };
  const series = { time: [] };
  KEYS.forEach((k) => { series[k] = []; });
  let previous = null;  // the last reading's time and counts
  let lastAnswer = 0;

  const $ = (id) => document.getElementById(id);

  function css(name) {
    return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
  }

  function rateText(v) {
    if (v === null || v === undefined || Number.isNaN(v)) return '-';
    if (v >= 100) return Math.round(v).toLocaleString('en-US');
    return v.toFixed(1);
  }

  function seconds(v) {
    if (v === null || v === undefined) return '-';
    if (v < 60) return v.toFixed(1) + ' s';
    if (v < 3600) return (v / 60).toFixed(1) + ' min';
    return (v / 3600).toFixed(1) + ' h';
  }

  function push(time, values) {
    series.time.push(time);
    KEYS.forEach((k) => series[k].push(values ? values[k] : null));
    while (series.time.length > POINTS) {
      series.time.shift();
      KEYS.forEach((k) => series[k].shift());
    }
  }

  function loadHistory(h) {
    KEYS.forEach((k) => { series[k] = []; });
    series.time = [];
    for (let i = 0; i < h.time.length; i++) {
      const v = {};
      let gap = false;
      KEYS.forEach((k) => {
        v[k] = h[COUNT_OF[k]][i];
        if (v[k] === null) gap = true;
      });
      push(h.time[i], gap ? null : v);
    }
  }

  // A new reading: its rates against the one before.
  function addReading(s) {
    const c = s.counts;
    if (!c || !c.available) {
      push(s.time, null);
      previous = null;
      return;
    }
    if (previous && s.time > previous.time) {
      const dt = s.time - previous.time;
      const v = {};
      KEYS.forEach((k) => {
        const now = c[COUNT_OF[k]], before = previous.counts[COUNT_OF[k]];
        v[k] = (now >= before ? now - before : now) / dt;
      });
      push(s.time, v);
    }
    previous = { time: s.time, counts: c };
  }

  function niceMax(v) {
    if (!(v > 0)) return 1;
    const p = Math.pow(10, Math.floor(Math.log10(v)));
    for (const m of [1, 2, 2.5, 5, 10]) if (m * p >= v) return m * p;
    return 10 * p;
  }

  function drawChart(canvas, keys) {
    const dpr = window.devicePixelRatio || 1;
    const w = canvas.clientWidth || 600, h = canvas.clientHeight || 220;
    if (canvas.width !== Math.round(w * dpr) || canvas.height !== Math.round(h * dpr)) {
      canvas.width = Math.round(w * dpr);
      canvas.height = Math.round(h * dpr);
    }
    const g = canvas.getContext('2d');
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    g.clearRect(0, 0, w, h);
    const left = 64, right = 10, top = 10, bottom = 24;
    const pw = w - left - right, ph = h - top - bottom;
    const end = series.time.length ? series.time[series.time.length - 1] : Date.now() / 1000;
    const span = POINTS;
    let max = 0;
    keys.forEach((k) => series[k].forEach((v) => { if (v !== null && v > max) max = v; }));
    max = niceMax(max);
    g.font = '12px system-ui, sans-serif';
    g.strokeStyle = css('--line');
    g.fillStyle = css('--muted');
    g.lineWidth = 1;
    g.textAlign = 'right';
    g.textBaseline = 'middle';
    for (let i = 0; i <= 4; i++) {
      const y = top + ph - (ph * i) / 4;
      g.beginPath();
      g.moveTo(left, y);
      g.lineTo(left + pw, y);
      g.stroke();
      g.fillText(rateText((max * i) / 4), left - 6, y);
    }
    g.textAlign = 'center';
    g.textBaseline = 'top';
    for (let m = 0; m <= 10; m += 2) {
      const x = left + pw - (pw * m * 60) / span;
      g.fillText(m === 0 ? 'now' : '-' + m + ' min', x, top + ph + 6);
    }
    keys.forEach((k) => {
      g.strokeStyle = css('--' + k.replace('_', '-'));
      g.lineWidth = 2;
      g.beginPath();
      let drawing = false;
      for (let i = 0; i < series.time.length; i++) {
        const v = series[k][i];
        const age = end - series.time[i];
        if (v === null || age > span) {
          drawing = false;
          continue;
        }
        const x = left + pw - (pw * age) / span;
        const y = top + ph - (ph * Math.min(v, max)) / max;
        if (drawing) g.lineTo(x, y);
        else g.moveTo(x, y);
        drawing = true;
      }
      g.stroke();
    });
  }

  function cell(row, text, cls) {
    const td = document.createElement('td');
    td.textContent = text === null || text === undefined ? '' : String(text);
    if (cls) td.className = cls;
    row.appendChild(td);
    return td;
  }

  function fillTable(id, items, columns, rowClass, empty) {
    const body = $(id).tBodies[0];
    const rows = document.createDocumentFragment();
    items.forEach((item) => {
      const tr = document.createElement('tr');
      const c = rowClass ? rowClass(item) : '';
      if (c) tr.className = c;
      columns.forEach((col) => col(tr, item));
      rows.appendChild(tr);
    });
    if (!items.length) {
      const tr = document.createElement('tr');
      const td = cell(tr, empty, 'empty');
      td.colSpan = $(id).tHead.rows[0].cells.length;
      rows.appendChild(tr);
    }
    body.replaceChildren(rows);
  }

  function fillBar(tr, p) {
    const td = cell(tr, '');
    const bar = document.createElement('span');
    bar.className = 'fill' + (p.fill >= 0.95 ? ' full' : p.fill >= 0.75 ? ' high' : '');
    const inner = document.createElement('span');
    inner.style.width = Math.round(p.fill * 100) + '%';
    bar.appendChild(inner);
    td.appendChild(bar);
    td.appendChild(document.createTextNode(Math.round(p.fill * 100) + ' %'));
  }

  function render(s) {
    const m = s.manager || {};
    const found = !!m.found;
    $('manager').textContent = m.client_partition
      ? m.client_partition + ' / ' + m.event_partition + ' on ' + s.host + (m.layout ? ' (' + m.layout + ' layout)' : '')
      : 'on ' + s.host;
    const master = $('master');
    if (s.master && s.master.alive) {
      master.textContent = 'master ' + s.master.pid + ' alive';
      master.className = 'badge ok';
    } else {
      master.textContent = s.master && s.master.pid ? 'master ' + s.master.pid + ' dead' : 'no master';
      master.className = 'badge bad';
    }
    const banner = $('banner');
    if (s.state !== 'running') {
      banner.textContent = s.state + ': ' + s.message;
      banner.className = 'banner' + (found ? '' : ' bad');
      banner.hidden = false;
    } else {
      banner.hidden = true;
    }
    const r = s.rates || {};
    $('rate-set-up').textContent = rateText(r.events_set_up);
    $('rate-completed').textContent = rateText(r.events_completed);
    $('rate-freed').textContent = rateText(r.events_freed);
    $('rate-dropped').textContent = rateText(r.datagrams_dropped);
    $('rate-dropped').className = 'value' + (r.datagrams_dropped > 0 ? ' warn' : '');
    $('rate-reclaims').textContent = rateText(r.monitor_reclaims);
    $('rate-reclaims').className = 'value' + (r.monitor_reclaims > 0 ? ' warn' : '');
    $('slots-in-use').textContent = found ? s.event_slots_in_use + ' / ' + s.event_slots_total : '-';
    $('slots-in-use').className = 'value' + (s.event_slots_stuck > 0 ? ' warn' : '');
    const dead = s.client_slots.filter((c) => !c.alive).length;
    $('clients-alive').textContent = found ? s.client_slots_alive + ' / ' + s.client_slots_in_use : '-';
    $('clients-alive').className = 'value' + (dead > 0 ? ' bad' : '');

    fillTable('partitions', s.partitions, [
      (tr, p) => cell(tr, p.name),
      (tr, p) => cell(tr, p.role),
      (tr, p) => cell(tr, p.shmid, 'num'),
      (tr, p) => cell(tr, p.buffers, 'num'),
      (tr, p) => cell(tr, p.free, 'num'),
      fillBar,
      (tr, p) => cell(tr, p.buffer_size.toLocaleString('en-US'), 'num'),
      (tr, p) => cell(tr, p.mode),
      (tr, p) => cell(tr, p.owner),
      (tr, p) => cell(tr, p.attached, 'num'),
    ], null, 'no partitions found');

    $('clients-count').textContent = found ? '(' + s.subscriptions.readers + ' readers, ' + s.subscriptions.writers + ' writers)' : '';
    fillTable('clients', s.client_slots, [
      (tr, c) => cell(tr, c.slot, 'num'),
      (tr, c) => cell(tr, c.type),
      (tr, c) => cell(tr, c.stuck && c.alive ? c.status + ', stuck' : c.status,
        'state' + (c.alive ? (c.stuck ? ' stuck' : '') : ' dead')),
      (tr, c) => cell(tr, c.pid, 'num'),
      (tr, c) => cell(tr, c.command),
      (tr, c) => cell(tr, c.event_type),
      (tr, c) => cell(tr, c.events.toLocaleString('en-US'), 'num'),
      (tr, c) => cell(tr, c.blocks.join(', ') + (c.blocks_announced > c.blocks.length ? ', ...' : '')),
      (tr, c) => cell(tr, seconds(c.last_access_age_s) + ' ago', 'num'),
    ], (c) => (!c.alive ? 'dead' : c.stuck ? 'stuck' : ''), found ? 'no subscriptions' : '');

    const shown = s.event_slots.slice(0, 200);
    $('slots-count').textContent = found
      ? '(' + s.event_slots_in_use + ' of ' + s.event_slots_total + (s.event_slots_stuck ? ', ' + s.event_slots_stuck + ' stuck' : '') +
        (shown.length < s.event_slots_in_use ? ', first ' + shown.length + ' shown' : '') + ')'
      : '';
    fillTable('event-slots', shown, [
      (tr, e) => cell(tr, e.slot, 'num'),
      (tr, e) => cell(tr, e.type),
      (tr, e) => cell(tr, e.key),
      (tr, e) => cell(tr, e.event_id, 'num'),
      (tr, e) => cell(tr, e.blocks_filled + ' / ' + e.blocks_expected, 'num'),
      (tr, e) => cell(tr, seconds(e.age_s), 'num'),
      (tr, e) => cell(tr, e.setting_up ? 'setting up' : seconds(e.idle_s), 'num' + (e.stuck ? ' state stuck' : '')),
      (tr, e) => cell(tr, e.clients.map((c) => c.slot + ' ' + c.state).join(', ')),
    ], (e) => (e.stuck ? 'stuck' : ''), found ? 'none: every event so far was handed on' : '');

    drawChart($('chart-events'), ['set_up', 'completed', 'freed']);
    drawChart($('chart-faults'), ['dropped', 'reclaims']);
    const t = new Date(s.time * 1000);
    $('updated').textContent = 'updated ' + t.toLocaleTimeString('en-GB');
    document.body.dataset.state = s.state;
  }

  async function poll(first) {
    try {
      const r = await fetch(first ? 'api/status?history=1' : 'api/status', { cache: 'no-store' });
      if (!r.ok) throw new Error('HTTP ' + r.status);
      const s = await r.json();
      if (first && s.history) {
        loadHistory(s.history);
        if (s.counts && s.counts.available) previous = { time: s.time, counts: s.counts };
      } else if (s.time !== (previous ? previous.time : null)) {
        addReading(s);
      }
      lastAnswer = Date.now();
      render(s);
      return true;
    } catch (e) {
      const banner = $('banner');
      banner.textContent = 'The live view does not answer (' + e.message + '): is hesk-status --serve still running?';
      banner.className = 'banner bad';
      banner.hidden = false;
      $('updated').textContent = lastAnswer ? 'last answer ' + Math.round((Date.now() - lastAnswer) / 1000) + ' s ago' : 'no answer yet';
      return false;
    }
  }

  let loaded = false;
  async function tick() {
    loaded = (await poll(!loaded)) || loaded;
    setTimeout(tick, 1000);
  }
  window.addEventListener('resize', () => {
    drawChart($('chart-events'), ['set_up', 'completed', 'freed']);
    drawChart($('chart-faults'), ['dropped', 'reclaims']);
  });
  tick();
})();

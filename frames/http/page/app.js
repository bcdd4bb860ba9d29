// Live view of one sensor: the events of /events as they come, drawn at most ten times a second.
'use strict';

(function () {
  const HISTORY_MS = 60000;   // span of the distance plot
  const DRAW_EVERY_MS = 100;
  const GAP_MS = 2000;        // points further apart than this are not joined
  const SILENCE_MS = 5000;    // status comes every second: this long without a word is a dead stream
  const RETRY_MS = 2000;
  const THRESHOLD_DASH = [6, 4];   // as .key-threshold in the style sheet

  const $ = (id) => document.getElementById(id);
  const view = {
    connection: $('connection'), version: $('version'),
    statePanel: $('state-panel'), silence: $('silence'),
    presence: $('presence'), occupancy: $('occupancy'), hold: $('hold'),
    frameRate: $('frame-rate'), dropped: $('dropped'), frames: $('frames'), viewers: $('viewers'),
    distancePanel: $('distance-panel'), distancePlot: $('distance-plot'), distanceTitle: $('distance-title'),
    confidenceKey: $('confidence-key'), targetsKey: $('targets-key'),
    profilePanel: $('profile-panel'), profilePlot: $('profile-plot'), profileNote: $('profile-note'),
    heatmapPanel: $('heatmap-panel'), heatmap: $('heatmap'),
    targetsPanel: $('targets-panel'), targetsPlot: $('targets-plot'), targetsNote: $('targets-note'),
    optionsPanel: $('options-panel'), algorithm: $('algorithm'), timeout: $('timeout'),
    parameters: document.querySelector('#parameters tbody'),
  };

  // What the stream has said so far.
  const data = {
    history: [],       // presence frames: {t, distance, confidence, presence, targets (a count, or null)}
    // Proximity reports give a confidence of 0 always, which is none: the plot shows one only after
    // a report has given one above 0.
    confidenceSeen: false,
    profile: null,     // {power, threshold: [[cm, dB]], from, to, distance, effective}
    zones: null,
    targets: null,     // [{tracker, range, angle}]
    maxRange: 1,       // metres; the polar plot only grows
    algorithm: null,
  };
  const counts = {
    sinceTick: 0,    // radar frames since the last tick
    gaps: 0,         // frames missing from the sequence numbers of each output
    skipped: 0,      // frames the server skipped for this view, on this connection
    skippedBefore: 0,   // and on earlier ones
  };
  const lastSequence = new Map();   // output id -> sequence number
  // The sequence numbers last counted: the outputs of one radar frame share one, so a frame is
  // counted once however many outputs it has.
  const counted = [];
  const dirty = new Set();

  // ---- Formatting -------------------------------------------------------------------------

  const isNumber = (v) => typeof v === 'number' && Number.isFinite(v);
  const orDash = (v, unit) => (isNumber(v) ? v + unit : '–');

  const formatRate = (r) => (r < 10 ? r.toFixed(1) : Math.round(r)) + ' /s';

  // ---- Connection -------------------------------------------------------------------------

  let source = null;
  let connected = false;
  let lastMessage = 0;
  let statusSeen = false;
  let retryTimer = 0;

  function setConnected(on) {
    connected = on;
    view.connection.dataset.connected = String(on);
    view.connection.textContent = on ? 'Connected' : 'Disconnected — reconnecting…';
    document.body.classList.toggle('offline', !on);
    if (!on) view.frameRate.textContent = '–';
  }

  function connect() {
    clearTimeout(retryTimer);
    if (source) source.close();
    source = new EventSource('events');
    lastMessage = Date.now();
    source.onopen = () => { lastMessage = Date.now(); setConnected(true); };
    source.onerror = () => {
      setConnected(false);
      // While CONNECTING the browser retries by itself; a CLOSED source (a bad answer) it gives up on.
      if (source.readyState === EventSource.CLOSED) retryTimer = setTimeout(connect, RETRY_MS);
    };
    const on = (name, handler) => source.addEventListener(name, (event) => {
      lastMessage = Date.now();
      if (!connected) setConnected(true);
      let value;
      try {
        value = JSON.parse(event.data);
      } catch (e) {
        return;
      }
      if (value && typeof value === 'object') handler(value);
    });
    on('hello', onHello);
    on('options', onOptions);
    on('frame', onFrame);
    on('history', onHistory);
    on('occupancy', showOccupancy);
    on('status', onStatus);
  }

  function onHello(hello) {
    view.version.textContent = hello.version ? 'vantrel-frames ' + hello.version : '';
    // A new connection: its own skip count, and perhaps a new program with sequences anew.
    counts.skippedBefore += counts.skipped;
    counts.skipped = 0;
    lastSequence.clear();
    counted.length = 0;
    showCounts();
  }

  // ---- Events -----------------------------------------------------------------------------

  function onOptions(options) {
    const algorithm = typeof options.algorithm === 'string' ? options.algorithm : '';
    if (data.algorithm !== null && algorithm !== data.algorithm) forgetOutputs();
    data.algorithm = algorithm;
    view.algorithm.textContent = algorithm || 'unknown algorithm';
    view.timeout.textContent = isNumber(options.timeout) ? 'hold ' + options.timeout + ' s' : '';
    const rows = [];
    const parameters = options.parameters && typeof options.parameters === 'object' ? options.parameters : {};
    for (const [name, value] of Object.entries(parameters)) {
      const row = document.createElement('tr');
      const key = document.createElement('td');
      const val = document.createElement('td');
      key.textContent = name;
      val.textContent = typeof value === 'string' ? value : JSON.stringify(value);
      row.append(key, val);
      rows.push(row);
    }
    view.parameters.replaceChildren(...rows);
    view.optionsPanel.hidden = false;
  }

  // Another algorithm has other outputs: its panels show up again as their data comes.
  function forgetOutputs() {
    data.history = [];
    data.confidenceSeen = false;
    data.profile = null;
    data.zones = null;
    data.targets = null;
    data.maxRange = 1;
    lastSequence.clear();
    for (const panel of [view.distancePanel, view.profilePanel, view.heatmapPanel, view.targetsPanel]) {
      panel.hidden = true;
    }
  }

  function onFrame(frame) {
    countFrame(frame);
    countGap(frame);
    // Frames again: the server's next status confirms it.
    if (view.statePanel.dataset.stale === 'true') showStale(false);
    // Targets first: a proximity frame's presence point counts them.
    if (Array.isArray(frame.targets)) onTargets(frame.targets);
    if (frame.presence === 0 || frame.presence === 1) onPresence(frame);
    if (Array.isArray(frame.power_db) || Array.isArray(frame.threshold_db)) onProfilePoints(frame);
    else if (Array.isArray(frame.ranges_cm)) onPowerFrame(frame);
    if (Array.isArray(frame.zones)) {
      data.zones = frame.zones.filter((z) => z && isNumber(z.zone)).sort((a, b) => a.zone - b.zone);
      changed(view.heatmapPanel, 'heatmap');
    }
  }

  function countFrame(frame) {
    if (isNumber(frame.sequence)) {
      if (counted.includes(frame.sequence)) return;
      counted.push(frame.sequence);
      if (counted.length > 8) counted.shift();
    }
    counts.sinceTick++;
  }

  function countGap(frame) {
    if (!isNumber(frame.sequence)) return;
    const key = frame.id || frame.kind;
    const last = lastSequence.get(key);
    // A lower number is a new run of the program, not a loss.
    if (last !== undefined && frame.sequence > last + 1) {
      counts.gaps += frame.sequence - last - 1;
      showCounts();
    }
    lastSequence.set(key, frame.sequence);
  }

  function onPresence(frame) {
    const point = {
      t: Date.now(),
      presence: frame.presence,
      distance: isNumber(frame.distance_cm) ? frame.distance_cm : null,
      confidence: isNumber(frame.confidence) ? frame.confidence : null,
      targets: Array.isArray(frame.targets) ? data.targets.length : null,
    };
    if (point.confidence > 0) data.confidenceSeen = true;
    data.history.push(point);
    forgetBefore(point.t - HISTORY_MS);
    showPresence(point);
    changed(view.distancePanel, 'distance');
  }

  // The server's last minute, [milliseconds ago, presence, distance, confidence] oldest first. On a
  // reconnection it overlaps what this page has: the page keeps only what is older (a restarted
  // server has less).
  function onHistory(history) {
    if (!Array.isArray(history.points)) return;
    const now = Date.now();
    const points = history.points
      .filter((p) => Array.isArray(p) && isNumber(p[0]) && (p[1] === 0 || p[1] === 1))
      .map((p) => ({
        t: now - p[0],
        presence: p[1],
        distance: isNumber(p[2]) ? p[2] : null,
        confidence: isNumber(p[3]) ? p[3] : null,
        targets: null,
      }));
    if (!points.length) return;
    if (points.some((p) => p.confidence > 0)) data.confidenceSeen = true;
    data.history = data.history.filter((p) => p.t < points[0].t).concat(points);
    showPresence(points[points.length - 1]);
    changed(view.distancePanel, 'distance');
  }

  function showPresence(point) {
    const state = point.presence === 1 ? 'present' : 'absent';
    const distance = orDash(point.distance, ' cm');
    if (view.presence.dataset.state !== String(point.presence) || view.presence.lastChild.textContent !== distance) {
      const small = document.createElement('span');
      small.className = 'distance';
      small.textContent = distance;
      view.presence.dataset.state = String(point.presence);
      view.presence.replaceChildren(state, ' ', small);
    }
  }

  function forgetBefore(t) {
    const history = data.history;
    let old = 0;
    while (old < history.length && history[old].t < t) old++;
    if (old) history.splice(0, old);
  }

  const points = (list, scale) => (Array.isArray(list) ? list : [])
    .filter((p) => Array.isArray(p) && isNumber(p[0]))
    .map((p) => [p[0], isNumber(p[1]) ? p[1] * scale : null]);

  function onProfilePoints(frame) {
    const range = frame.range_cm || {};
    data.profile = {
      power: points(frame.power_db, 1),
      threshold: points(frame.threshold_db, 1),
      from: range.start, to: range.end,
      distance: frame.presence === 1 ? frame.distance_cm : null,
      effective: null,
    };
    changed(view.profilePanel, 'profile');
  }

  function onPowerFrame(frame) {
    const zip = (levels) => frame.ranges_cm.map((cm, i) => [cm, levels && isNumber(levels[i]) ? levels[i] : null]);
    data.profile = {
      power: points(zip(frame.power_cdb), 0.01),
      threshold: points(zip(frame.threshold_cdb), 0.01),
      from: null, to: null,
      distance: frame.distance_cm,
      effective: frame.effective_range_cm,
    };
    changed(view.profilePanel, 'profile');
  }

  function onTargets(targets) {
    // A target at range 0 is the tracker saying it has none.
    data.targets = targets
      .filter((t) => t && isNumber(t.range_m) && t.range_m > 0 && isNumber(t.angle_deg))
      .map((t) => ({ tracker: String(t.tracker || ''), range: t.range_m, angle: t.angle_deg }));
    for (const t of data.targets) data.maxRange = Math.max(data.maxRange, t.range);
    view.targetsNote.textContent = data.targets.length
      ? data.targets.map((t) => `${t.tracker} ${t.range.toFixed(2)} m at ${Math.round(t.angle)}°`).join(', ')
      : 'no target';
    changed(view.targetsPanel, 'targets');
  }

  function showOccupancy(state) {
    if (typeof state.occupancy === 'boolean') {
      view.occupancy.dataset.occupied = String(state.occupancy);
      view.occupancy.textContent = state.occupancy ? 'occupied' : 'vacant';
    }
    if (isNumber(state.hold)) {
      view.hold.textContent = state.hold > 0 ? `held ${state.hold} s after the last presence` : 'no hold time';
    }
  }

  function onStatus(status) {
    statusSeen = true;
    if (isNumber(status.viewers)) view.viewers.textContent = status.viewers;
    if (isNumber(status.frames)) view.frames.textContent = status.frames;
    if (isNumber(status.dropped)) counts.skipped = status.dropped;
    showOccupancy(status);
    showStale(status.stale === true, status.frame_age_s);
    showCounts();
  }

  // A stream that has stopped: its last presence and occupancy stay on view, greyed, not as current.
  function showStale(stale, age) {
    view.statePanel.dataset.stale = String(stale);
    view.silence.hidden = !stale;
    if (stale) view.silence.textContent = isNumber(age) ? `No frames for ${age} s` : 'No frames yet';
  }

  function showCounts() {
    // Frames the server skips for this view leave gaps too: the larger count holds both.
    const skipped = counts.skippedBefore + counts.skipped;
    view.dropped.textContent = Math.max(counts.gaps, skipped);
    view.dropped.title = `${counts.gaps} missing from the sequence numbers; the server skipped ${skipped} for this view`;
  }

  // Every second: the frame rate, and a look at whether the stream still lives.
  function tick() {
    const now = performance.now();
    const rate = counts.sinceTick * 1000 / (now - tick.last);
    tick.last = now;
    counts.sinceTick = 0;
    view.frameRate.textContent = connected ? formatRate(rate) : '–';
    if (statusSeen && connected && Date.now() - lastMessage > SILENCE_MS) {
      setConnected(false);
      connect();
    }
    if (!view.distancePanel.hidden) changed(null, 'distance');   // the time axis moves on
  }
  tick.last = performance.now();

  // ---- Drawing ----------------------------------------------------------------------------

  let drawScheduled = false;
  let lastDraw = -Infinity;

  function changed(panel, what) {
    if (panel) panel.hidden = false;
    dirty.add(what);
    if (drawScheduled) return;
    drawScheduled = true;
    const wait = DRAW_EVERY_MS - (performance.now() - lastDraw);
    if (wait > 0) setTimeout(() => requestAnimationFrame(draw), wait);
    else requestAnimationFrame(draw);
  }

  function draw(now) {
    drawScheduled = false;
    lastDraw = now;
    readColours();
    if (dirty.has('distance')) drawDistance();
    if (dirty.has('profile')) drawProfile();
    if (dirty.has('heatmap')) drawHeatmap();
    if (dirty.has('targets')) drawTargets();
    dirty.clear();
  }

  // The canvases take their colours from the style sheet, light or dark.
  const colours = {};
  let coloursRead = false;
  function readColours() {
    if (coloursRead) return;
    const style = getComputedStyle(document.documentElement);
    for (const name of ['fg', 'muted', 'grid', 'present', 'distance', 'confidence', 'power', 'threshold',
      'occupied', 'free', 'target', 'on-accent']) {
      colours[name] = style.getPropertyValue('--' + name).trim();
    }
    coloursRead = true;
  }

  function redrawAll() {
    coloursRead = false;
    for (const what of ['distance', 'profile', 'heatmap', 'targets']) changed(null, what);
  }

  // The canvas at its shown size and the screen's pixel ratio, cleared; drawing in CSS pixels.
  function surface(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const w = canvas.clientWidth;
    const h = canvas.clientHeight;
    if (canvas.width !== Math.round(w * ratio) || canvas.height !== Math.round(h * ratio)) {
      canvas.width = Math.round(w * ratio);
      canvas.height = Math.round(h * ratio);
    }
    const ctx = canvas.getContext('2d');
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    ctx.clearRect(0, 0, w, h);
    ctx.font = '12px "DejaVu Sans", sans-serif';
    ctx.lineWidth = 1;
    return { ctx, w, h };
  }

  const linear = (d0, d1, p0, p1) => {
    const k = (p1 - p0) / ((d1 - d0) || 1);
    return (v) => p0 + (v - d0) * k;
  };

  // Round steps (1, 2, 5 times a power of ten) for about `count` ticks between lo and hi.
  function ticks(lo, hi, count) {
    const raw = (hi - lo) / count || 1;
    const magnitude = 10 ** Math.floor(Math.log10(raw));
    const n = raw / magnitude;
    const step = (n <= 1 ? 1 : n <= 2 ? 2 : n <= 5 ? 5 : 10) * magnitude;
    return steps(Math.ceil(lo / step) * step, step, hi + step * 1e-6, 2 * count + 2);
  }

  // first, first + step, … up to last: at most `most` of them, each above the one before, since
  // data far out (1e17) makes a step too small to move a value, or NaN.
  function steps(first, step, last, most) {
    const out = [];
    for (let i = 0; i < most; i++) {
      const v = Number((first + i * step).toFixed(6));
      if (!(v <= last) || v === out[out.length - 1]) break;
      out.push(v);
    }
    return out;
  }

  function niceCeil(v) {
    const t = ticks(0, v, 5);
    if (t.length < 2) return v;
    return t[t.length - 1] < v ? t[t.length - 1] + (t[1] - t[0]) : t[t.length - 1];
  }

  // Grid lines and labels: horizontal for y ticks (label left or right), vertical for x ticks.
  function gridY(ctx, box, y, values, label, side) {
    ctx.strokeStyle = colours.grid;
    ctx.fillStyle = colours.muted;
    ctx.textBaseline = 'middle';
    ctx.textAlign = side === 'left' ? 'right' : 'left';
    for (const v of values) {
      const py = Math.round(y(v)) + 0.5;
      if (side === 'left') {
        ctx.beginPath();
        ctx.moveTo(box.x0, py);
        ctx.lineTo(box.x1, py);
        ctx.stroke();
      }
      ctx.fillText(label(v), side === 'left' ? box.x0 - 5 : box.x1 + 5, py);
    }
  }

  function gridX(ctx, box, x, values, label) {
    ctx.strokeStyle = colours.grid;
    ctx.fillStyle = colours.muted;
    ctx.textBaseline = 'top';
    ctx.textAlign = 'center';
    for (const v of values) {
      const px = Math.round(x(v)) + 0.5;
      ctx.beginPath();
      ctx.moveTo(px, box.y0);
      ctx.lineTo(px, box.y1);
      ctx.stroke();
      ctx.fillText(label(v), px, box.y1 + 5);
    }
  }

  // A line through [x, y] pairs, broken at nulls and where `apart` says so; returns the points drawn.
  // Dashed as its legend key is, when `dash` is given.
  function polyline(ctx, pairs, colour, apart, dash) {
    ctx.strokeStyle = colour;
    ctx.setLineDash(dash || []);
    ctx.lineWidth = 2;
    ctx.lineJoin = 'round';
    ctx.beginPath();
    let pen = false;
    let drawn = 0;
    for (let i = 0; i < pairs.length; i++) {
      const [px, py] = pairs[i];
      if (py === null) {
        pen = false;
        continue;
      }
      if (pen && !(apart && apart(i))) ctx.lineTo(px, py);
      else ctx.moveTo(px, py);
      pen = true;
      drawn++;
    }
    ctx.stroke();
    ctx.lineWidth = 1;
    ctx.setLineDash([]);
    return drawn;
  }

  function drawDistance() {
    const { ctx, w, h } = surface(view.distancePlot);
    const now = Date.now();
    const start = now - HISTORY_MS;
    forgetBefore(start);
    const history = data.history;

    const box = { x0: 52, x1: w - 48, y0: 8, y1: h - 22 };
    let top = 100;
    let most = 3;   // targets
    for (const p of history) {
      if (p.distance !== null && p.distance > top) top = p.distance;
      if (p.targets !== null && p.targets > most) most = p.targets;
    }
    top = niceCeil(top);
    most = niceCeil(most);
    // The right axis: the confidence, or else what a proximity algorithm has in its place.
    const right = data.confidenceSeen ? 'confidence' : history.some((p) => p.targets !== null) ? 'targets' : '';
    showRightAxis(right);
    const x = linear(start, now, box.x0, box.x1);
    const yd = linear(0, top, box.y1, box.y0);
    const yr = linear(0, right === 'targets' ? most : 100, box.y1, box.y0);

    // Present stretches as bands behind the lines.
    ctx.fillStyle = colours.present;
    ctx.globalAlpha = 0.15;
    let from = null;
    for (let i = 0; i < history.length; i++) {
      const p = history[i];
      const next = history[i + 1];
      if (p.presence !== 1) continue;
      if (from === null) from = p.t;
      if (next && next.presence === 1 && next.t - p.t <= GAP_MS) continue;
      const end = next ? Math.min(next.t, p.t + GAP_MS) : p.t;
      ctx.fillRect(x(from), box.y0, Math.max(1, x(end) - x(from)), box.y1 - box.y0);
      from = null;
    }
    ctx.globalAlpha = 1;

    gridY(ctx, box, yd, ticks(0, top, 5), (v) => v + ' cm', 'left');
    if (right === 'confidence') gridY(ctx, box, yr, [0, 25, 50, 75, 100], (v) => v + ' %', 'right');
    if (right === 'targets') gridY(ctx, box, yr, ticks(0, most, Math.min(most, 5)), String, 'right');
    gridX(ctx, box, x, [60, 50, 40, 30, 20, 10, 0].map((s) => now - s * 1000),
      (t) => (t === now ? 'now' : t === start ? '' : '−' + Math.round((now - t) / 1000) + ' s'));

    const apart = (i) => history[i].t - history[i - 1].t > GAP_MS;
    if (right) {
      const values = history.map((p) => [x(p.t), p[right] === null ? null : yr(p[right])]);
      const colour = right === 'targets' ? colours.target : colours.confidence;
      view.distancePlot.dataset.rightPoints = String(polyline(ctx, values, colour, apart));
    }
    const distance = history.map((p) => [x(p.t), p.distance === null ? null : yd(p.distance)]);
    const drawn = polyline(ctx, distance, colours.distance, apart);
    view.distancePlot.dataset.points = String(drawn);
  }

  // The title and legend of the distance plot name what its right axis shows.
  function showRightAxis(right) {
    if (view.distancePlot.dataset.right === right) return;
    view.distancePlot.dataset.right = right;
    view.distancePlot.dataset.rightPoints = '0';
    view.confidenceKey.hidden = right !== 'confidence';
    view.targetsKey.hidden = right !== 'targets';
    const title = right === 'targets' ? 'Distance and target count' : right ? 'Distance and confidence' : 'Distance';
    view.distanceTitle.textContent = title + ', last minute';
    view.distancePlot.setAttribute('aria-label', title + ' over the last minute');
  }

  function drawProfile() {
    const p = data.profile;
    if (!p) return;
    const { ctx, w, h } = surface(view.profilePlot);
    const all = p.power.concat(p.threshold);
    const xs = all.map((q) => q[0]);
    const ys = all.map((q) => q[1]).filter((v) => v !== null);
    if (!xs.length) return;
    // Spread arguments overflow the stack on a large frame's arrays.
    const least = (list) => list.reduce((a, b) => Math.min(a, b));
    const most = (list) => list.reduce((a, b) => Math.max(a, b));
    const from = isNumber(p.from) ? p.from : least(xs);
    const to = Math.max(isNumber(p.to) ? p.to : most(xs), isNumber(p.effective) ? p.effective : 0);
    // Round levels around the data, with room above the highest.
    let lo = ys.length ? least(ys) : 0;
    let hi = ys.length ? most(ys) : 1;
    const span = ticks(lo, hi, 4);
    const step = span.length > 1 ? span[1] - span[0] : 10;
    lo = Math.floor(lo / step) * step;
    hi = Math.floor(hi / step + 1) * step;
    const levels = steps(lo, step, hi + step / 2, 12);

    const box = { x0: 52, x1: w - 28, y0: 8, y1: h - 22 };
    const x = linear(from, to, box.x0, box.x1);
    const y = linear(lo, hi, box.y1, box.y0);
    gridY(ctx, box, y, levels, (v) => v + ' dB', 'left');
    gridX(ctx, box, x, ticks(from, to, 6), (v) => v + ' cm');

    const marks = [];
    if (isNumber(p.effective) && p.effective > 0) marks.push([p.effective, colours.muted, 'effective range']);
    if (isNumber(p.distance) && p.distance > 0) marks.push([p.distance, colours.present, 'distance']);
    ctx.setLineDash([4, 4]);
    ctx.textAlign = 'left';
    ctx.textBaseline = 'top';
    marks.forEach(([at, colour, label], i) => {
      const px = Math.round(x(Math.min(Math.max(at, from), to))) + 0.5;
      ctx.strokeStyle = colour;
      ctx.fillStyle = colour;
      ctx.beginPath();
      ctx.moveTo(px, box.y0);
      ctx.lineTo(px, box.y1);
      ctx.stroke();
      const width = ctx.measureText(label).width;
      ctx.fillText(label, px + 4 + width > box.x1 ? px - 4 - width : px + 4, box.y0 + 2 + i * 15);
    });
    ctx.setLineDash([]);

    const scaled = (list) => list.map((q) => [x(q[0]), q[1] === null ? null : y(q[1])]);
    polyline(ctx, scaled(p.threshold), colours.threshold, null, THRESHOLD_DASH);
    polyline(ctx, scaled(p.power), colours.power);
    view.profileNote.textContent = marks.length ? 'marks: ' + marks.map((m) => `${m[2]} ${m[0]} cm`).join(', ') : '';
  }

  // Zones as square cells, in rows of about the square root of their number.
  function drawHeatmap() {
    const zones = data.zones;
    if (!zones) return;
    const { ctx, w, h } = surface(view.heatmap);
    if (!zones.length) return;
    const columns = Math.ceil(Math.sqrt(zones.length));
    const rows = Math.ceil(zones.length / columns);
    const side = Math.floor(Math.min(w / columns, h / rows));
    const left = Math.floor((w - side * columns) / 2);
    const top = Math.floor((h - side * rows) / 2);
    ctx.textAlign = 'center';
    ctx.textBaseline = 'middle';
    zones.forEach((zone, i) => {
      const cx = left + (i % columns) * side;
      const cy = top + Math.floor(i / columns) * side;
      const occupied = zone.occupied === 1;
      const confidence = isNumber(zone.confidence) ? Math.min(Math.max(zone.confidence, 0), 100) : 0;
      ctx.fillStyle = occupied ? colours.occupied : colours.free;
      ctx.globalAlpha = occupied ? 0.3 + 0.7 * confidence / 100 : 1;
      ctx.fillRect(cx + 2, cy + 2, side - 4, side - 4);
      ctx.globalAlpha = 1;
      ctx.fillStyle = occupied && confidence > 50 ? colours['on-accent'] : colours.fg;
      ctx.font = `${Math.max(12, Math.round(side / 7))}px "DejaVu Sans", sans-serif`;
      ctx.fillText(`zone ${zone.zone}`, cx + side / 2, cy + side / 2 - side / 10);
      ctx.fillText(occupied ? `${confidence} %` : 'free', cx + side / 2, cy + side / 2 + side / 10);
    });
  }

  // The sensor at the bottom, straight ahead up, positive angles to the right.
  function drawTargets() {
    const targets = data.targets;
    if (!targets) return;
    const { ctx, w, h } = surface(view.targetsPlot);
    const radius = Math.max(10, Math.min(w / 2 - 30, h - 50));
    const ox = w / 2;
    const oy = h - 22;
    const reach = niceCeil(data.maxRange);
    const r = linear(0, reach, 0, radius);
    const at = (range, degrees) => {
      const a = degrees * Math.PI / 180;
      return [ox + r(range) * Math.sin(a), oy - r(range) * Math.cos(a)];
    };

    ctx.strokeStyle = colours.grid;
    ctx.fillStyle = colours.muted;
    ctx.textAlign = 'center';
    ctx.textBaseline = 'top';
    for (const ring of ticks(0, reach, 4).slice(1)) {
      ctx.beginPath();
      ctx.arc(ox, oy, r(ring), Math.PI, 2 * Math.PI);
      ctx.stroke();
      ctx.fillText(ring + ' m', ox + r(ring), oy + 4);
    }
    ctx.textBaseline = 'bottom';
    for (let degrees = -90; degrees <= 90; degrees += 30) {
      const [ex, ey] = at(reach, degrees);
      ctx.beginPath();
      ctx.moveTo(ox, oy);
      ctx.lineTo(ex, ey);
      ctx.stroke();
      if (Math.abs(degrees) < 90) {
        const [lx, ly] = at(reach * 1.06, degrees);
        ctx.fillText(degrees + '°', lx, ly + 6);
      }
    }

    ctx.textAlign = 'left';
    ctx.textBaseline = 'middle';
    for (const t of targets) {
      const [px, py] = at(Math.min(t.range, reach), t.angle);
      ctx.fillStyle = colours.target;
      ctx.beginPath();
      ctx.arc(px, py, 7, 0, 2 * Math.PI);
      ctx.fill();
      ctx.fillStyle = colours.fg;
      ctx.fillText(t.tracker, px + 10, py);
    }
  }

  // ---- Start ------------------------------------------------------------------------------

  window.addEventListener('resize', redrawAll);
  window.matchMedia('(prefers-color-scheme: dark)').addEventListener('change', redrawAll);
  setInterval(tick, 1000);
  setConnected(false);
  view.connection.textContent = 'Connecting…';
  connect();
})();

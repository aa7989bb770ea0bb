// Drives the report's interactive section in headless Chromium over the
// DevTools protocol on a pipe (nothing listens on the network), and compares
// every value the page shows, and window.surgekit.surgeAt, with `surgekit run`
// on the same cases; checks that the plots draw those values where their
// axes say, that each change is redrawn within one frame, and that the
// model's wrapper refuses bad locations and table cells by itself.
// Usage: node report_interactive_test.mjs SURGEKIT EXAMPLES_DIR BUILD_DIR WORK_DIR
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const [surgekit, examples, build, work] = process.argv.slice(2);
const SETTINGS_WITH_SITES = 1000, SETTINGS_WITHOUT_SITES = 300, MAX_ULPS = 4n;
// Redraws are timed on this many settings, after the comparison's settings
// have warmed the page up, and must fit one 60 Hz frame.
const TIMED_SETTINGS = 300, FRAME_MS = 1000 / 60;
const PIXEL_TOLERANCE = 0.01;  // plot positions are written unrounded
const SCALE = +(process.env.SURGE_INTERACTIVE_SCALE || 1);  // a fraction of the settings, for a quick look
const failures = [];
const fail = message => {
  failures.push(message);
  if (failures.length <= 30) console.log('FAIL: ' + message);
};

// ---- Settings and what surgekit run makes of them ---------------------------

let seed = 20261207;
const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
const pick = list => list[Math.floor(random() * list.length)];
const integer = (from, to) => from + Math.floor(random() * (to - from + 1));

// Most settings move a slider; some type a value the slider cannot take:
// fractions, values outside the fitted ranges and outside the physical domain.
function pressureSetting() {
  if (random() < 0.8) return {control: 'slider', value: integer(890, 960)};
  return {control: 'field', value: pick([889.5, 930.25, 961, 1000, 1012.5, 1013, 1020, 870, 945.75])};
}
function radiusSetting() {
  if (random() < 0.8) return {control: 'slider', value: integer(11, 65)};
  return {control: 'field', value: pick([10.5, 0.5, 0, -3, 66, 80, 24.75, 25.5, 12.125])};
}
function positionSetting(from, to) {
  if (random() < 0.9) return {control: 'slider', value: integer(from * 2, to * 2) / 2};
  return {control: 'field', value: pick([from - 50.25, to + 40.5, 0.1, 333.3, -0.5])};
}

const sites = fs.readFileSync(path.join(examples, 'sites.csv'), 'utf8').trim().split('\n').slice(1)
    .map(line => line.split(',')).map(f => ({location: +f[0], alongshore: +f[2], lowChord: f[3] === '' ? null : +f[3]}));
const physical = (p, r) => p > 0 && p < 1013 && r > 0;

// Each setting: the controls' values and the cases the table should show.
function makeSettings(count, withSites) {
  const settings = [];
  for (let k = 0; k < count; ++k) {
    const s = {p: pressureSetting(), r: radiusSetting(), location: integer(1, 20)};
    if (withSites) {
      s.landfall = positionSetting(-75, 660);
      s.cases = sites.map(site => ({location: site.location, d: site.alongshore - s.landfall.value}));
    } else {
      s.distance = positionSetting(-300, 300);
      s.cases = [{location: s.location, d: s.distance.value}];
    }
    settings.push(s);
  }
  return settings;
}

// surgekit run on every physical case of the settings; fills in case.expected.
// With `plain`, glibc is told the CPU lacks FMA and AVX2, so that its exp
// takes the plain path whatever the machine: then every double must agree.
function runSurgekit(settings, dataDir, name, plain = false) {
  const rows = ['setting,location,pressure_mb,radius_km,distance_km'];
  settings.forEach((s, k) => s.cases.forEach(c => {
    if (physical(s.p.value, s.r.value)) rows.push([k, c.location, s.p.value, s.r.value, c.d].join(','));
  }));
  const input = path.join(work, name + '-cases.csv');
  fs.writeFileSync(input, rows.join('\n') + '\n');
  const env = plain ? {...process.env, GLIBC_TUNABLES: 'glibc.cpu.hwcaps=-AVX2,-FMA'} : process.env;
  const output = execFileSync(surgekit, ['run', '--data', dataDir, input], {maxBuffer: 1 << 28, env}).toString();
  const lines = output.trim().split('\n');
  const header = lines[0].split(',');
  const col = name => header.indexOf(name);
  const bySetting = new Map();
  for (const line of lines.slice(1)) {
    const f = line.split(',');
    const key = f[col('setting')] + ':' + f[col('location')];
    bySetting.set(key, {surge_m: f[col('surge_m')], surge_report: f[col('surge_report')],
                        side: f[col('side')], x: f[col('x')], curve: f[col('curve')], flags: f[col('flags')]});
  }
  let found = 0;
  settings.forEach((s, k) => s.cases.forEach(c => {
    const row = bySetting.get(k + ':' + c.location) || null;
    if (plain) c.plain = row;
    else c.expected = row;
    if (row) ++found;
  }));
  return {cases: rows.length - 1, found};
}

// ---- The browser, over the DevTools protocol on fds 3 and 4 -----------------

function browser(profile) {
  const child = spawn('chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--user-data-dir=' + profile, '--remote-debugging-pipe', 'about:blank',
  ], {stdio: ['ignore', 'ignore', fs.openSync(path.join(work, 'chromium.log'), 'a'), 'pipe', 'pipe']});
  const pending = new Map(), listeners = [];
  let next = 1, buffer = '';
  child.stdio[4].on('data', chunk => {
    buffer += chunk.toString();
    let end;
    while ((end = buffer.indexOf('\0')) >= 0) {
      const message = JSON.parse(buffer.slice(0, end));
      buffer = buffer.slice(end + 1);
      if (message.id && pending.has(message.id)) {
        const {resolve, reject} = pending.get(message.id);
        pending.delete(message.id);
        if (message.error) reject(new Error(JSON.stringify(message.error)));
        else resolve(message.result);
      } else {
        listeners.forEach(listener => listener(message));
      }
    }
  });
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = next++;
    pending.set(id, {resolve, reject});
    child.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + '\0');
  });
  // Closing waits for Chromium to exit: its helpers keep writing the profile
  // for a moment after the browser process is told to stop.
  const exited = new Promise(resolve => child.on('exit', resolve));
  const close = async () => {
    send('Browser.close').catch(() => {});
    const timer = setTimeout(() => child.kill('SIGKILL'), 10000);
    await exited;
    clearTimeout(timer);
  };
  return {send, on: listener => listeners.push(listener), close};
}

async function openPage(b, url, log) {
  const {targetId} = await b.send('Target.createTarget', {url: 'about:blank'});
  const {sessionId} = await b.send('Target.attachToTarget', {targetId, flatten: true});
  const send = (method, params) => b.send(method, params, sessionId);
  b.on(m => {
    if (m.sessionId !== sessionId) return;
    if (m.method === 'Network.requestWillBeSent') log.requests.push(m.params.request.url);
    if (m.method === 'Runtime.consoleAPICalled') {
      log.console.push(m.params.type + ': ' + m.params.args.map(a => a.value ?? a.description).join(' '));
    }
    if (m.method === 'Runtime.exceptionThrown') log.console.push('exception: ' + JSON.stringify(m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text));
    if (m.method === 'Log.entryAdded') log.console.push('log: ' + m.params.entry.text);
  });
  await send('Network.enable');
  await send('Runtime.enable');
  await send('Log.enable');
  await send('Page.enable');
  await send('Emulation.setDeviceMetricsOverride', {width: 1240, height: 1400, deviceScaleFactor: 1, mobile: false});
  // Without a scroll bar the page is laid out the same in the viewport and in
  // a screenshot beyond it (which has none): the clip measured in one fits
  // the other.
  await send('Emulation.setScrollbarsHidden', {hidden: true});
  const loaded = new Promise(resolve => b.on(m => {
    if (m.sessionId === sessionId && m.method === 'Page.loadEventFired') resolve();
  }));
  await send('Page.navigate', {url});
  await loaded;
  return send;
}

async function evaluate(send, expression) {
  const r = await send('Runtime.evaluate', {expression, awaitPromise: true, returnByValue: true});
  if (r.exceptionDetails) throw new Error('in the page: ' + (r.exceptionDetails.exception?.description ?? r.exceptionDetails.text));
  return r.result.value;
}

// ---- In the page: move the controls, read the table and the plots -----------

// Runs inside the page: defines window.skSet(setting), which sets each
// control as a person would (value, then an input event) and resolves at the
// end of the next animation frame's work: the page's redraw, then style and
// layout, forced at once. It gives the redraw's time: the input events'
// handlers, plus everything from that frame's first animation callback
// (registered before the events) to the end of layout.
const inPageSetter = () => {
  const set = (id, setting) => {
    const element = document.getElementById(setting.control === 'slider' ? id + '-range' : id);
    element.value = String(setting.value);
    element.dispatchEvent(new Event('input', {bubbles: true}));
  };
  window.skSet = async s => {
    let frameStart = NaN;
    requestAnimationFrame(() => {
      frameStart = performance.now();
    });
    const inputStart = performance.now();
    set('sk-pressure', s.p);
    set('sk-radius', s.r);
    if (s.landfall) set('sk-landfall', s.landfall);
    if (s.distance) set('sk-distance', s.distance);
    const select = document.getElementById('sk-location');
    select.value = String(s.location);
    select.dispatchEvent(new Event('input', {bubbles: true}));
    const inputEnd = performance.now();
    const frameEnd = await new Promise(resolve => requestAnimationFrame(() => {
      document.getElementById('sk-values-table').getBoundingClientRect();
      resolve(performance.now());
    }));
    return inputEnd - inputStart + frameEnd - frameStart;
  };
  return window.surgekit.ready.then(() => true);
};

// Runs inside the page: applies each setting, and reads the values table, the
// positions the plots draw, and surgeAt on the same cases.
const inPage = async settings => {
  const number = (e, name) => parseFloat(e.getAttribute(name));
  const shown = e => e.getAttribute('display') !== 'none';
  // Each tick's value as its label reads and where its line is drawn.
  const ticks = (svg, kind, at) => Array.from(svg.querySelectorAll('.sk-' + kind + 'tick'))
      .map(g => ({value: parseFloat(g.querySelector('text').textContent), at: number(g.querySelector('line'), at)}));
  const axes = svg => ({x: ticks(svg, 'x', 'x1'), y: ticks(svg, 'y', 'y1')});
  const results = [];
  const started = performance.now();
  for (const s of settings) {
    await window.skSet(s);
    const table = document.getElementById('sk-values-table');
    const header = Array.from(table.querySelectorAll('thead th')).map(th => th.textContent);
    const rows = Array.from(table.querySelectorAll('tbody tr')).map(tr => {
      const cells = Array.from(tr.children).map(td => td.textContent);
      return Object.fromEntries(header.map((h, i) => [h, cells[i]]));
    });
    const surgeAt = s.cases.map(c => {
      const v = window.surgekit.surgeAt(c.location, s.p.value, s.r.value, c.d);
      return Number.isNaN(v) ? 'NaN' : v;
    });
    const bars = document.getElementById('sk-bars'), curve = document.getElementById('sk-curve');
    const current = curve.querySelector('.sk-current');
    results.push({
      rows, surgeAt,
      bars: bars && {
        axes: axes(bars),
        bars: Array.from(bars.querySelectorAll('.sk-bar')).map(b => ({
          location: +b.dataset.location, shown: shown(b), x: number(b, 'x'), y: number(b, 'y'),
          width: number(b, 'width'), height: number(b, 'height'), fill: b.getAttribute('fill'),
        })),
        chords: Array.from(bars.querySelectorAll('.sk-chord')).map(c => ({
          location: +c.dataset.location, x1: number(c, 'x1'), x2: number(c, 'x2'), y1: number(c, 'y1'), y2: number(c, 'y2'),
        })),
        notEvaluated: Array.from(bars.querySelectorAll('.sk-not-evaluated')).filter(shown).length,
      },
      curve: {axes: axes(curve), current: {shown: shown(current), cx: number(current, 'cx'), cy: number(current, 'cy')}},
      pressureShown: document.getElementById('sk-pressure').value,
      sliderShown: document.getElementById('sk-pressure-range').value,
    });
  }
  const elapsedMs = performance.now() - started;
  const errors = [];
  for (const bad of [0, 21, 1.5, NaN]) {
    try {
      window.surgekit.surgeAt(bad, 930, 30, 10);
      errors.push('surgeAt accepted location ' + bad);
    } catch (e) {
      if (!(e instanceof RangeError)) errors.push('surgeAt(' + bad + ') threw ' + e);
    }
  }
  return {results, errors, elapsedMs};
};

// Runs inside the page: calls the model's exported functions directly, on an
// instance of its own, with the rows given, so that the wrapper's own checks
// are what refuses a bad location or table cell (surgeAt refuses them first).
const inPageWrapper = async ({locations, cells}) => {
  const created = createSurgeModel();
  const model = await (typeof created.then === 'function' ? created : created.ready);
  const table = JSON.parse(document.getElementById('sk-data').textContent).table;
  table.forEach((column, c) => column.forEach((hex, i) => model._surge_web_set(c, i + 1, parseInt(hex, 16) >>> 0)));
  const held = () => table.map((column, c) => column.map((_, i) => (model._surge_web_get(c, i + 1) >>> 0).toString(16).padStart(8, '0')));
  const intact = () => JSON.stringify(held()) === JSON.stringify(table);
  const out = {columns: model._surge_web_column_count(), loaded: intact(), locations: [], cells: []};
  for (const location of locations) {
    model._surge_web_evaluate(7, 930, 30, 10);  // a result to keep when the call is refused
    const kept = model._surge_web_surge();
    const returned = model._surge_web_evaluate(location, 930, 30, 10);
    out.locations.push({location, returned, surge: model._surge_web_surge(), kept,
                        surgeAt: location >= 1 && location <= 20 ? window.surgekit.surgeAt(location, 930, 30, 10) : null});
  }
  for (const [column, location] of cells) {
    // An accepted cell is given its own value back, so that the table stays.
    const own = column >= 0 && column < table.length && location >= 1 && location <= 20 ? parseInt(table[column][location - 1], 16) >>> 0 : 0x12345678;
    const returned = model._surge_web_set(column, location, own);
    out.cells.push({column, location, returned, read: model._surge_web_get(column, location) >>> 0, own, intact: intact()});
  }
  return out;
};

// ---- Comparison -------------------------------------------------------------

const view = new DataView(new ArrayBuffer(8));
function ordered(v) {  // the double's bits as a signed integer ordered like the values
  view.setFloat64(0, v);
  const bits = view.getBigInt64(0);
  return bits < 0n ? -(bits & 0x7fffffffffffffffn) : bits;
}
const ulps = (a, b) => {
  const d = ordered(a) - ordered(b);
  return d < 0n ? -d : d;
};

const counts = {plainExact: 0, nativeDiffers: 0, cases: 0, notEvaluated: 0, distanceSide: 0, textEqual: 0, surgeExact: 0,
                surgeWithin: 0, xExact: 0, xWithin: 0, surgeAtExact: 0, surgeAtWithin: 0, printed: 0, maxUlps: 0n,
                bars: 0, chords: 0, marks: 0};

function compareDouble(what, shown, expected, exactKey, withinKey) {
  const a = parseFloat(shown), b = parseFloat(expected);
  if (shown === expected) ++counts.textEqual;
  const u = ulps(a, b);
  if (u > counts.maxUlps) counts.maxUlps = u;
  if (u === 0n) ++counts[exactKey];
  if (u <= MAX_ULPS) ++counts[withinKey];
  else fail(what + ': page ' + shown + ', surgekit run ' + expected + ' (' + u + ' ulp)');
}

// The map from values to pixels that an axis's ticks draw, from its first
// and last tick; every tick must lie on it, and it must run the way given
// (x: larger to the right; y: a larger surge higher, so pixels decrease).
function axisScale(ticks, orientation, what) {
  if (ticks.length < 2) {
    fail(what + ': ' + ticks.length + ' ticks');
    return null;
  }
  const a = ticks[0], b = ticks[ticks.length - 1];
  const slope = (b.at - a.at) / (b.value - a.value);
  const at = v => a.at + (v - a.value) * slope;
  if (!(Math.sign(slope) === orientation)) fail(what + ': the axis runs the wrong way (' + slope + ' px per unit)');
  for (const t of ticks) {
    if (!(Math.abs(at(t.value) - t.at) <= PIXEL_TOLERANCE)) fail(what + ': tick ' + t.value + ' at ' + t.at + ', not ' + at(t.value));
  }
  return {at, slope, top: Math.max(...ticks.map(t => t.value))};
}
const near = (a, b) => Math.abs(a - b) <= PIXEL_TOLERANCE;

// The bars along the coast against the table: each bar shown where the table
// has a surge, its foot on the zero line, its height the surge (0 for a
// negative one) on the axis's scale, centred at its bridge, red at or above
// the low chord and pale where flagged distance_side; each low chord marked
// at its height; the axis reaching every bar and chord.
function compareBars(label, rows, drawn) {
  const x = axisScale(drawn.axes.x, 1, label + ' bars x axis'), y = axisScale(drawn.axes.y, -1, label + ' bars y axis');
  if (!x || !y) return;
  const axisTop = y.at(y.top);
  let notEvaluated = 0;
  sites.forEach((site, i) => {
    const row = rows[i], bar = drawn.bars[i], where = label + ' bridge ' + site.location;
    if (!bar || bar.location !== site.location) return fail(where + ': no bar');
    const evaluated = row.surge_m !== 'not evaluated';
    if (!evaluated) ++notEvaluated;
    if (bar.shown !== evaluated) return fail(where + ': bar shown ' + bar.shown + ' for surge_m ' + row.surge_m);
    if (evaluated) {
      ++counts.bars;
      const surge = parseFloat(row.surge_m), height = Math.max(0, surge) * -y.slope;
      if (!near(bar.height, height) || !near(bar.y + bar.height, y.at(0))) {
        fail(where + ': bar from ' + bar.y + ' height ' + bar.height + ' for surge ' + row.surge_m + ' (height ' + height + ', foot ' + y.at(0) + ')');
      }
      if (!near(bar.x + bar.width / 2, x.at(site.alongshore))) fail(where + ': bar centred at ' + (bar.x + bar.width / 2) + ', not ' + x.at(site.alongshore));
      if (bar.y < axisTop - PIXEL_TOLERANCE) fail(where + ': bar above the axis top');
      const over = site.lowChord !== null && surge >= site.lowChord, pale = row.flags.split(';').includes('distance_side');
      const fill = {'false,false': '#1f77b4', 'true,false': '#d62728', 'false,true': '#a9c8e4', 'true,true': '#f0a3a4'}[over + ',' + pale];
      if (bar.fill !== fill) fail(where + ': bar ' + bar.fill + ', not ' + fill + (over ? ' (at or above the low chord)' : '') + (pale ? ' (flagged)' : ''));
    }
  });
  if (drawn.notEvaluated !== notEvaluated) fail(label + ': ' + drawn.notEvaluated + ' "n/e" marks for ' + notEvaluated + ' rows not evaluated');
  const withChord = sites.filter(site => site.lowChord !== null);
  if (drawn.chords.length !== withChord.length) fail(label + ': ' + drawn.chords.length + ' low-chord marks');
  withChord.forEach(site => {
    const chord = drawn.chords.find(c => c.location === site.location), where = label + ' bridge ' + site.location;
    if (!chord) return fail(where + ': no low-chord mark');
    ++counts.chords;
    if (!near(chord.y1, y.at(site.lowChord)) || chord.y2 !== chord.y1) fail(where + ': low chord drawn at ' + chord.y1 + ', not ' + y.at(site.lowChord));
    if (!near((chord.x1 + chord.x2) / 2, x.at(site.alongshore))) fail(where + ': low chord centred at ' + (chord.x1 + chord.x2) / 2);
    if (chord.y1 < axisTop - PIXEL_TOLERANCE) fail(where + ': low chord above the axis top');
  });
}

// The current-case mark on the curve: shown where the table has the selected
// case's surge, at its distance and surge (0 for a negative one).
function compareCurrent(label, row, d, drawn) {
  const x = axisScale(drawn.axes.x, 1, label + ' curve x axis'), y = axisScale(drawn.axes.y, -1, label + ' curve y axis');
  if (!x || !y) return;
  const evaluated = row.surge_m !== 'not evaluated', mark = drawn.current;
  if (mark.shown !== evaluated) return fail(label + ': current-case mark shown ' + mark.shown + ' for surge_m ' + row.surge_m);
  if (!evaluated) return;
  ++counts.marks;
  const cy = y.at(Math.max(0, parseFloat(row.surge_m)));
  if (!near(mark.cx, x.at(d)) || !near(mark.cy, cy)) {
    fail(label + ': current case drawn at (' + mark.cx + ', ' + mark.cy + '), not (' + x.at(d) + ', ' + cy + ') for d ' + d + ', surge ' + row.surge_m);
  }
}

function compare(settings, results, mode) {
  settings.forEach((s, k) => {
    const r = results[k];
    const label = mode + ' setting ' + k + ' (p ' + s.p.value + ', r ' + s.r.value + ')';
    if (r.rows.length !== s.cases.length) return fail(label + ': ' + r.rows.length + ' table rows');
    if (s.p.control === 'slider' && r.pressureShown !== String(s.p.value)) fail(label + ': the pressure field shows ' + r.pressureShown);
    if (s.p.control === 'field' && s.p.value >= 890 && s.p.value <= 960 && Number.isInteger(s.p.value) &&
        r.sliderShown !== String(s.p.value)) fail(label + ': the slider shows ' + r.sliderShown);
    s.cases.forEach((c, i) => {
      const row = r.rows[i], e = c.expected, where = label + ' location ' + c.location + ' d ' + c.d;
      ++counts.cases;
      if (+row.location !== c.location || +row.distance_km !== c.d || +row.pressure_mb !== s.p.value ||
          +row.radius_km !== s.r.value) {
        return fail(where + ': the row shows ' + JSON.stringify(row));
      }
      // Only a case surgekit run refuses (no pressure deficit, no radius) is
      // not evaluated; a distance up to 0 at 18 to 20 is evaluated and flagged.
      if (!physical(s.p.value, s.r.value)) {
        ++counts.notEvaluated;
        if (row.surge_m !== 'not evaluated' || row.surge_report !== '' || row.x !== '') fail(where + ': evaluated outside the domain: ' + JSON.stringify(row));
        if (r.surgeAt[i] !== 'NaN') fail(where + ': surgeAt gave ' + r.surgeAt[i] + ' outside the domain');
        return;
      }
      if (!e) return fail(where + ': surgekit run has no row');
      if (c.location >= 18 && !(c.d > 0)) {
        ++counts.distanceSide;
        if (!e.flags.split(';').includes('distance_side')) fail(where + ': surgekit run does not flag distance_side: ' + e.flags);
      }
      for (const column of ['surge_report', 'side', 'curve', 'flags']) {
        ++counts.printed;
        if (row[column] !== e[column]) fail(where + ': ' + column + ' "' + row[column] + '", surgekit run "' + e[column] + '"');
      }
      compareDouble(where + ' surge_m', row.surge_m, e.surge_m, 'surgeExact', 'surgeWithin');
      compareDouble(where + ' x', row.x, e.x, 'xExact', 'xWithin');
      // Against glibc's plain exp: every double the same, as text and as surgeAt.
      if (!c.plain) return fail(where + ': surgekit run on the plain exp has no row');
      if (c.plain.surge_m !== e.surge_m || c.plain.x !== e.x) ++counts.nativeDiffers;
      if (row.surge_m === c.plain.surge_m && row.x === c.plain.x && r.surgeAt[i] === parseFloat(c.plain.surge_m)) {
        ++counts.plainExact;
      } else {
        fail(where + ': page ' + row.surge_m + ' x ' + row.x + ' surgeAt ' + r.surgeAt[i] + ', plain exp ' +
             c.plain.surge_m + ' x ' + c.plain.x);
      }
      const at = r.surgeAt[i];
      const u = typeof at === 'number' ? ulps(at, parseFloat(e.surge_m)) : 1n << 60n;
      if (u === 0n) ++counts.surgeAtExact;
      if (u <= MAX_ULPS) ++counts.surgeAtWithin;
      else fail(where + ': surgeAt ' + at + ', surgekit run ' + e.surge_m);
    });
    if (mode === 'sites') compareBars(label, r.rows, r.bars);
    const index = Math.max(0, s.cases.findIndex(c => c.location === s.location));
    compareCurrent(label, r.rows[index], s.cases[index].d, r.curve);
  });
}

// The wrapper's answers to direct calls: locations 1 and 20 evaluated as
// surgeAt evaluates them; any other location refused, the last result kept;
// table cells outside 22 columns by 20 locations refused, nothing changed.
const WRAPPER_LOCATIONS = [[1, true], [20, true], [0, false], [21, false], [-1, false], [2147483647, false],
                           [-2147483648, false]];
const WRAPPER_CELLS = [[0, 1, true], [21, 20, true], [-1, 1, false], [22, 1, false], [0, 0, false], [0, 21, false],
                       [0, -1, false], [2147483647, 1, false], [0, 2147483647, false]];

function compareWrapper(mode, out) {
  if (out.columns !== 22) fail(mode + ' wrapper: ' + out.columns + ' columns');
  if (!out.loaded) fail(mode + ' wrapper: the table did not load intact');
  WRAPPER_LOCATIONS.forEach(([location, accepted], i) => {
    const got = out.locations[i], where = mode + ' wrapper: evaluate at location ' + location;
    if (got.returned !== (accepted ? 1 : 0)) return fail(where + ' returned ' + got.returned);
    if (accepted && got.surge !== got.surgeAt) fail(where + ': surge ' + got.surge + ', surgeAt ' + got.surgeAt);
    if (!accepted && got.surge !== got.kept) fail(where + ': the last result changed from ' + got.kept + ' to ' + got.surge);
  });
  WRAPPER_CELLS.forEach(([column, location, accepted], i) => {
    const got = out.cells[i], where = mode + ' wrapper: column ' + column + ', location ' + location;
    if (got.returned !== (accepted ? 1 : 0)) fail(where + ': set returned ' + got.returned);
    if (got.read !== (accepted ? got.own : 0)) fail(where + ': get gave ' + got.read.toString(16));
    if (!got.intact) fail(where + ': the table changed');
  });
}

// ---- Redraw times -----------------------------------------------------------

// Times the redraw of each setting in two ways: by the clock, in the page
// (window.skSet), which counts whatever else the machine does meanwhile; and
// by the page's main thread's own work in that span (script, style and
// layout, from the browser's metrics in thread time), which does not. Both
// must fit one frame at the median, and the thread's work at the 95th
// percentile too: on a busy machine the clock's tail is other programs' time.
async function timeRedraws(send, settings, mode) {
  await send('Performance.enable', {timeDomain: 'threadTicks'});
  const work = async () => {
    const m = Object.fromEntries((await send('Performance.getMetrics')).metrics.map(x => [x.name, x.value]));
    return (m.ScriptDuration + m.RecalcStyleDuration + m.LayoutDuration) * 1000;
  };
  const clock = [], thread = [];
  for (const s of settings) {
    const before = await work();
    clock.push(await evaluate(send, 'window.skSet(' + JSON.stringify(s) + ')'));
    thread.push(await work() - before);
  }
  await send('Performance.disable');
  const summary = times => {
    const sorted = times.slice().sort((x, y) => x - y);
    const at = q => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
    return {median: at(0.5), p95: at(0.95), max: sorted[sorted.length - 1]};
  };
  const c = summary(clock), t = summary(thread);
  const text = x => 'median ' + x.median.toFixed(2) + ' ms, 95th percentile ' + x.p95.toFixed(2) + ' ms, max ' + x.max.toFixed(2) + ' ms';
  console.log(mode + ': redraw of ' + settings.length + ' settings, input event to end of layout: by the clock ' + text(c) +
              '; the main thread\'s work ' + text(t));
  if (!(c.median <= FRAME_MS)) fail(mode + ': redraws take ' + c.median.toFixed(2) + ' ms at the median, more than a frame');
  if (!(t.median <= FRAME_MS && t.p95 <= FRAME_MS)) {
    fail(mode + ': the redraw\'s work does not fit a frame of ' + FRAME_MS.toFixed(1) + ' ms: ' + text(t));
  }
}

// ---- The run ----------------------------------------------------------------

const noSites = path.join(work, 'no-sites');
fs.mkdirSync(noSites);
for (const f of ['srfparamsVelko.dat', 'pslope.dat']) fs.copyFileSync(path.join(examples, f), path.join(noSites, f));

const pages = {sites: path.join(work, 'report.html'), plain: path.join(work, 'report-no-sites.html')};
const withoutSection = path.join(work, 'report-no-interactive.html');
execFileSync(surgekit, ['report', '--data', examples, '-o', pages.sites]);
execFileSync(surgekit, ['report', '--data', noSites, '-o', pages.plain]);
execFileSync(surgekit, ['report', '--data', examples, '--no-interactive', '-o', withoutSection]);

// Nothing outside the page: no script, style or image from elsewhere.
for (const [mode, page] of Object.entries(pages)) {
  const html = fs.readFileSync(page, 'utf8');
  const outside = html.match(/<script[^>]*\bsrc\s*=|<link|<img|<iframe|@import|href="(https?:)?\/\/|\bsrc="(https?:)?\/\//i);
  if (outside) fail(mode + ' page refers outside itself: ' + outside[0]);
  if (!html.includes('id="sk-data"')) fail(mode + ' page has no interactive section');
}
// The sizes the guide quotes: the page, what the section adds, and its scripts.
{
  const bytes = fs.statSync(pages.sites).size, without = fs.statSync(withoutSection).size;
  const html = fs.readFileSync(pages.sites, 'latin1');  // one character per byte
  const scripts = Array.from(html.matchAll(/<script[^>]*>([^]*?)<\/script>/g), m => m[1].length);
  console.log('page on the example data: ' + bytes + ' bytes, ' + without + ' with --no-interactive: the section adds ' +
              (bytes - without) + ' bytes (data ' + scripts[0] + ', model ' + scripts[1] + ', section script ' + scripts[2] + ')');
}

const withSites = makeSettings(Math.ceil(SETTINGS_WITH_SITES * SCALE), true);
const withoutSites = makeSettings(Math.ceil(SETTINGS_WITHOUT_SITES * SCALE), false);
const ran = [runSurgekit(withSites, examples, 'sites'), runSurgekit(withoutSites, noSites, 'plain')];
runSurgekit(withSites, examples, 'sites-plain-exp', true);
runSurgekit(withoutSites, noSites, 'plain-plain-exp', true);
console.log('surgekit run: ' + ran.map(r => r.cases + ' cases').join(' and '));

// Runs report_text_overlap.js in the page and gives its findings.
async function textOverlaps(send) {
  const script = fs.readFileSync(new URL('report_text_overlap.js', import.meta.url), 'utf8');
  return evaluate(send, script + `;(() => {
    const pre = document.getElementById('text-overlaps');
    pre.remove();
    return pre.textContent;
  })()`);
}

const b = browser(path.join(work, 'profile'));
let exitCode = 0;
try {
  const logs = {};
  for (const [mode, settings] of [['sites', withSites], ['plain', withoutSites]]) {
    const log = logs[mode] = {requests: [], console: []};
    const url = 'file://' + pages[mode];
    const send = await openPage(b, url, log);
    await evaluate(send, '(' + inPageSetter.toString() + ')()');
    const out = await evaluate(send, '(' + inPage.toString() + ')(' + JSON.stringify(settings) + ')');
    out.errors.forEach(fail);
    compare(settings, out.results, mode);
    compareWrapper(mode, await evaluate(send, '(' + inPageWrapper.toString() + ')(' +
                                        JSON.stringify({locations: WRAPPER_LOCATIONS.map(r => r[0]), cells: WRAPPER_CELLS}) + ')'));
    console.log(mode + ': ' + settings.length + ' settings compared in ' + out.elapsedMs.toFixed(0) + ' ms');
    await timeRedraws(send, settings.slice(0, TIMED_SETTINGS), mode);
    if (mode === 'sites') {
      // Every flag a case can carry at once, at bridges 18 to 20 too: no text
      // of the plots overlaps another, no cell of the tables is cut off.
      await evaluate(send, `(async () => {
        for (const [id, v] of [['sk-pressure', 889.5], ['sk-radius', 10.5], ['sk-landfall-range', 600]]) {
          const e = document.getElementById(id); e.value = String(v); e.dispatchEvent(new Event('input'));
        }
        await new Promise(r => requestAnimationFrame(r));
      })()`);
      const longest = await evaluate(send, `document.querySelector('#sk-values-table tr[data-location="20"] .sk-flags').textContent`);
      if (longest !== 'pressure_range;radius_range;distance_side;pressure_fraction;radius_fraction') fail('the flags of bridge 20: ' + longest);
      const overlaps = await textOverlaps(send);
      if (!overlaps.startsWith('TEXT OVERLAPS: 0\n')) fail('texts overlap or are cut off: ' + overlaps.slice(0, 800));
      // The section at a plain setting, for a person to look at.
      await evaluate(send, `(async () => {
        for (const [id, v] of [['sk-pressure', 920], ['sk-radius', 30], ['sk-landfall-range', 250]]) {
          const e = document.getElementById(id); e.value = String(v); e.dispatchEvent(new Event('input'));
        }
        const s = document.getElementById('sk-location'); s.value = '9'; s.dispatchEvent(new Event('input'));
        await new Promise(r => requestAnimationFrame(r));
        document.getElementById('interactive').scrollIntoView();
      })()`);
      const box = await evaluate(send, `(() => { const r = document.getElementById('interactive').getBoundingClientRect();
        return {x: r.left + scrollX, y: r.top + scrollY, width: r.width, height: r.height}; })()`);
      const shot = await send('Page.captureScreenshot', {format: 'png', captureBeyondViewport: true,
                                                         clip: {...box, scale: 1}});
      fs.writeFileSync(path.join(build, 'report-interactive.png'), Buffer.from(shot.data, 'base64'));
    }
    const foreign = log.requests.filter(u => u !== url);
    if (foreign.length > 0) fail(mode + ': the page made requests: ' + foreign.slice(0, 5).join(' '));
    if (log.requests.length !== 1) fail(mode + ': ' + log.requests.length + ' requests where the page itself is the one');
    if (log.console.length > 0) fail(mode + ': console messages: ' + log.console.slice(0, 5).join(' | '));
  }
  console.log('cases ' + counts.cases + ' (' + counts.notEvaluated + ' not evaluated, ' + counts.distanceSide +
              ' at 18 to 20 with a distance up to 0, evaluated and flagged); printed values compared ' +
              counts.printed + '; surge_m exact ' + counts.surgeExact + ', within ' + MAX_ULPS + ' ulp ' + counts.surgeWithin +
              '; x exact ' + counts.xExact + ', within ' + counts.xWithin + '; surgeAt exact ' + counts.surgeAtExact +
              ', within ' + counts.surgeAtWithin + '; number texts equal ' + counts.textEqual + '; largest difference ' +
              counts.maxUlps + ' ulp; equal in every double to the plain exp path ' + counts.plainExact +
              ' (native differs from the plain path in ' + counts.nativeDiffers + '); drawn where the axes say: ' +
              counts.bars + ' bars, ' + counts.chords + ' low chords, ' + counts.marks + ' current-case marks');
  if (counts.cases < 20 * withSites.length) fail('only ' + counts.cases + ' cases compared');
  if (counts.distanceSide === 0) fail('no case at 18 to 20 with a distance up to 0 was compared');
} catch (e) {
  fail(String(e.stack || e));
} finally {
  await b.close();
}
if (!fs.existsSync(path.join(build, 'report-interactive.png'))) fail('no screenshot');
if (failures.length > 0) {
  console.log(failures.length + ' failures');
  exitCode = 1;
} else {
  console.log('the page agrees with surgekit run; screenshot at ' + path.join(build, 'report-interactive.png'));
}
process.exit(exitCode);

// Drives the report's interactive section in headless Chromium over the
// DevTools protocol on a pipe (nothing listens on the network), and compares
// every value the page shows, and window.surgekit.surgeAt, with `surgekit run`
// on the same cases.
// Usage: node report_interactive_test.mjs SURGEKIT EXAMPLES_DIR BUILD_DIR WORK_DIR
import {spawn, execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const [surgekit, examples, build, work] = process.argv.slice(2);
const SETTINGS_WITH_SITES = 1000, SETTINGS_WITHOUT_SITES = 300, MAX_ULPS = 4n;
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
    .map(line => line.split(',')).map(f => ({location: +f[0], alongshore: +f[2]}));
const physical = (p, r) => p < 1013 && r > 0;

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

// ---- In the page: move the controls, read the table --------------------------

// Runs inside the page: sets each control as a person would (value, then an
// input event), waits one animation frame, and reads the values table.
const inPage = async settings => {
  await window.surgekit.ready;
  const frame = () => new Promise(resolve => requestAnimationFrame(() => resolve()));
  const set = (id, setting) => {
    const element = document.getElementById(setting.control === 'slider' ? id + '-range' : id);
    element.value = String(setting.value);
    element.dispatchEvent(new Event('input', {bubbles: true}));
  };
  const results = [];
  const redraws = [];
  const started = performance.now();
  for (const s of settings) {
    set('sk-pressure', s.p);
    set('sk-radius', s.r);
    if (s.landfall) set('sk-landfall', s.landfall);
    if (s.distance) set('sk-distance', s.distance);
    const select = document.getElementById('sk-location');
    select.value = String(s.location);
    select.dispatchEvent(new Event('input', {bubbles: true}));
    await frame();
    redraws.push(window.surgekit.lastRedrawMs);
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
    const current = document.querySelectorAll('#sk-plots .sk-current').length;
    const bars = document.querySelectorAll('#sk-plots .sk-bar').length;
    const notEvaluated = document.querySelectorAll('#sk-plots .sk-not-evaluated').length;
    results.push({rows, surgeAt, current, bars, notEvaluated,
                  pressureShown: document.getElementById('sk-pressure').value,
                  sliderShown: document.getElementById('sk-pressure-range').value});
  }
  const errors = [];
  for (const bad of [0, 21, 1.5, NaN]) {
    try {
      window.surgekit.surgeAt(bad, 930, 30, 10);
      errors.push('surgeAt accepted location ' + bad);
    } catch (e) {
      if (!(e instanceof RangeError)) errors.push('surgeAt(' + bad + ') threw ' + e);
    }
  }
  return {results, redraws, errors, elapsedMs: performance.now() - started};
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

const counts = {plainExact: 0, nativeDiffers: 0, cases: 0, notEvaluated: 0, textEqual: 0, surgeExact: 0, surgeWithin: 0, xExact: 0,
                xWithin: 0, surgeAtExact: 0, surgeAtWithin: 0, printed: 0, maxUlps: 0n};

function compareDouble(what, shown, expected, exactKey, withinKey) {
  const a = parseFloat(shown), b = parseFloat(expected);
  if (shown === expected) ++counts.textEqual;
  const u = ulps(a, b);
  if (u > counts.maxUlps) counts.maxUlps = u;
  if (u === 0n) ++counts[exactKey];
  if (u <= MAX_ULPS) ++counts[withinKey];
  else fail(what + ': page ' + shown + ', surgekit run ' + expected + ' (' + u + ' ulp)');
}

function compare(settings, results, mode) {
  settings.forEach((s, k) => {
    const r = results[k];
    const label = mode + ' setting ' + k + ' (p ' + s.p.value + ', r ' + s.r.value + ')';
    if (r.rows.length !== s.cases.length) return fail(label + ': ' + r.rows.length + ' table rows');
    if (s.p.control === 'slider' && r.pressureShown !== String(s.p.value)) fail(label + ': the pressure field shows ' + r.pressureShown);
    if (s.p.control === 'field' && s.p.value >= 890 && s.p.value <= 960 && Number.isInteger(s.p.value) &&
        r.sliderShown !== String(s.p.value)) fail(label + ': the slider shows ' + r.sliderShown);
    let evaluated = 0;
    s.cases.forEach((c, i) => {
      const row = r.rows[i], e = c.expected, where = label + ' location ' + c.location + ' d ' + c.d;
      ++counts.cases;
      if (+row.location !== c.location || +row.distance_km !== c.d || +row.pressure_mb !== s.p.value ||
          +row.radius_km !== s.r.value) {
        return fail(where + ': the row shows ' + JSON.stringify(row));
      }
      const domain = physical(s.p.value, s.r.value) && !(c.location >= 18 && !(c.d > 0));
      if (!domain) {
        ++counts.notEvaluated;
        if (row.surge_m !== 'not evaluated' || row.surge_report !== '' || row.x !== '') fail(where + ': evaluated outside the domain: ' + JSON.stringify(row));
        if (r.surgeAt[i] !== 'NaN') fail(where + ': surgeAt gave ' + r.surgeAt[i] + ' outside the domain');
        if (e && row.flags !== e.flags) fail(where + ': flags ' + row.flags + ', surgekit run ' + e.flags);
        if (!e && physical(s.p.value, s.r.value)) fail(where + ': surgekit run has no row');
        return;
      }
      ++evaluated;
      if (!e) return fail(where + ': surgekit run has no row');
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
    if (mode === 'sites') {
      if (r.bars + r.notEvaluated !== 20 || r.notEvaluated !== s.cases.length - evaluated) {
        fail(label + ': ' + r.bars + ' bars and ' + r.notEvaluated + ' not evaluated, ' + evaluated + ' evaluated');
      }
    }
    const selected = s.cases.find(c => c.location === s.location) || s.cases[0];
    const selectedEvaluated = physical(s.p.value, s.r.value) && !(selected.location >= 18 && !(selected.d > 0));
    if (mode === 'sites' && r.current !== (selectedEvaluated ? 1 : 0)) fail(label + ': ' + r.current + ' current-case marks');
  });
}

// ---- The run ----------------------------------------------------------------

const noSites = path.join(work, 'no-sites');
fs.mkdirSync(noSites);
for (const f of ['srfparamsVelko.dat', 'pslope.dat']) fs.copyFileSync(path.join(examples, f), path.join(noSites, f));

const pages = {sites: path.join(work, 'report.html'), plain: path.join(work, 'report-no-sites.html')};
execFileSync(surgekit, ['report', '--data', examples, '-o', pages.sites]);
execFileSync(surgekit, ['report', '--data', noSites, '-o', pages.plain]);

// Nothing outside the page: no script, style or image from elsewhere.
for (const [mode, page] of Object.entries(pages)) {
  const html = fs.readFileSync(page, 'utf8');
  const outside = html.match(/<script[^>]*\bsrc\s*=|<link|<img|<iframe|@import|href="(https?:)?\/\/|\bsrc="(https?:)?\/\//i);
  if (outside) fail(mode + ' page refers outside itself: ' + outside[0]);
  if (!html.includes('id="sk-data"')) fail(mode + ' page has no interactive section');
  console.log(mode + ' page: ' + html.length + ' bytes');
}

const withSites = makeSettings(Math.ceil(SETTINGS_WITH_SITES * SCALE), true);
const withoutSites = makeSettings(Math.ceil(SETTINGS_WITHOUT_SITES * SCALE), false);
const ran = [runSurgekit(withSites, examples, 'sites'), runSurgekit(withoutSites, noSites, 'plain')];
runSurgekit(withSites, examples, 'sites-plain-exp', true);
runSurgekit(withoutSites, noSites, 'plain-plain-exp', true);
console.log('surgekit run: ' + ran.map(r => r.cases + ' cases').join(' and '));

const b = browser(path.join(work, 'profile'));
let exitCode = 0;
try {
  const logs = {};
  for (const [mode, settings] of [['sites', withSites], ['plain', withoutSites]]) {
    const log = logs[mode] = {requests: [], console: []};
    const url = 'file://' + pages[mode];
    const send = await openPage(b, url, log);
    const out = await evaluate(send, '(' + inPage.toString() + ')(' + JSON.stringify(settings) + ')');
    out.errors.forEach(fail);
    compare(settings, out.results, mode);
    const sorted = out.redraws.slice().sort((x, y) => x - y);
    console.log(mode + ': ' + settings.length + ' settings in ' + out.elapsedMs.toFixed(0) + ' ms; redraw median ' +
                sorted[sorted.length >> 1].toFixed(2) + ' ms, max ' + sorted[sorted.length - 1].toFixed(2) + ' ms');
    if (mode === 'sites') {
      // The section at its first setting again, for a person to look at.
      await evaluate(send, `(async () => {
        for (const [id, v] of [['sk-pressure-range', 920], ['sk-radius-range', 30], ['sk-landfall-range', 250]]) {
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
  console.log('cases ' + counts.cases + ' (' + counts.notEvaluated + ' not evaluated); printed values compared ' +
              counts.printed + '; surge_m exact ' + counts.surgeExact + ', within ' + MAX_ULPS + ' ulp ' + counts.surgeWithin +
              '; x exact ' + counts.xExact + ', within ' + counts.xWithin + '; surgeAt exact ' + counts.surgeAtExact +
              ', within ' + counts.surgeAtWithin + '; number texts equal ' + counts.textEqual + '; largest difference ' +
              counts.maxUlps + ' ulp; equal in every double to the plain exp path ' + counts.plainExact +
              ' (native differs from the plain path in ' + counts.nativeDiffers + ')');
  if (counts.cases < 20 * withSites.length) fail('only ' + counts.cases + ' cases compared');
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

// The report's interactive section: reads the coefficient table surgekit
// embedded (single-precision bit patterns), hands it to the model built to
// WebAssembly, and redraws the bars along the coast, the selected location's
// curve and the values table on every change of a control, within the next
// animation frame. Offers window.surgekit.ready and window.surgekit.surgeAt.
(function () {
  'use strict';
  const data = JSON.parse(document.getElementById('sk-data').textContent);
  const limits = data.limits;
  const sites = data.sites;  // null without a sites file
  const status = document.getElementById('sk-status');
  const CURVES = ['none', 'left', 'tail', 'right'];
  const SIDES = ['', 'LEFT', 'RIGHT'];
  const DISTANCE_ORIGIN = 0.8339999914169312;  // the model's origin a, in radii (0.834f)

  // ---- Numbers as `surgekit run` writes them -------------------------------

  // The shortest text that reads back as the same double, in C++'s
  // std::to_chars style: fixed or scientific, whichever is shorter (fixed on
  // a tie), exponents of at least two digits; "nan", "inf", "-inf".
  function shortest(v) {
    if (Number.isNaN(v)) return 'nan';
    if (v === Infinity) return 'inf';
    if (v === -Infinity) return '-inf';
    if (v === 0) return Object.is(v, -0) ? '-0' : '0';
    const m = /^(-?)(\d)(?:\.(\d+))?e([+-]\d+)$/.exec(v.toExponential());
    const sign = m[1], digits = m[2] + (m[3] || ''), exponent = parseInt(m[4], 10);
    const magnitude = Math.abs(exponent);
    const scientific = sign + digits[0] + (digits.length > 1 ? '.' + digits.slice(1) : '') +
        'e' + (exponent < 0 ? '-' : '+') + (magnitude < 10 ? '0' : '') + magnitude;
    const point = exponent + 1;  // digits before the decimal point
    let fixed;
    if (point <= 0) {
      fixed = sign + '0.' + '0'.repeat(-point) + digits;
    } else if (point >= digits.length) {
      fixed = sign + digits + '0'.repeat(point - digits.length);
    } else {
      fixed = sign + digits.slice(0, point) + '.' + digits.slice(point);
    }
    return fixed.length <= scientific.length ? fixed : scientific;
  }

  // The surge as the calculator's report prints it: four columns with one
  // decimal, rounded from the double's exact value with ties to even, a
  // leading 0 when there is room, asterisks when it does not fit; the
  // field's leading blanks left off.
  const WIDTH = 4, DECIMALS = 1;
  const bits64 = new DataView(new ArrayBuffer(8));
  function reportSurge(v) {
    let text;
    if (Number.isNaN(v)) {
      text = 'NaN';
    } else if (!Number.isFinite(v)) {
      text = (v < 0 ? '-' : '') + ((v < 0 ? 9 : 8) <= WIDTH ? 'Infinity' : 'Inf');
    } else {
      bits64.setFloat64(0, v);
      const high = bits64.getUint32(0), low = bits64.getUint32(4);
      const negative = high >>> 31 !== 0;
      const biased = (high >>> 20) & 0x7ff;
      let mantissa = (BigInt(high & 0xfffff) << 32n) | BigInt(low);
      if (biased !== 0) mantissa |= 1n << 52n;
      const exponent = (biased === 0 ? 1 : biased) - 1075;
      const scaled = mantissa * 10n ** BigInt(DECIMALS);
      let q;
      if (exponent >= 0) {
        q = scaled << BigInt(exponent);
      } else {
        const shift = BigInt(-exponent);
        q = scaled >> shift;
        const remainder = scaled - (q << shift);
        const half = 1n << (shift - 1n);
        if (remainder > half || (remainder === half && (q & 1n) === 1n)) q += 1n;
      }
      const digits = q.toString();
      const zero = q === 0n;
      const integerDigits = !zero && digits.length > DECIMALS ? digits.length - DECIMALS : 0;
      text = negative && !zero ? '-' : '';
      if (integerDigits === 0 && text.length + 1 + DECIMALS < WIDTH) text += '0';
      text += digits.slice(0, integerDigits) + '.';
      const shown = zero ? 0 : digits.length - integerDigits;
      text += '0'.repeat(Math.max(0, DECIMALS - shown)) + (zero ? '' : digits.slice(integerDigits));
    }
    return text.length > WIDTH ? '*'.repeat(WIDTH) : text;
  }

  const hasFraction = v => Number.isFinite(v) && Math.trunc(v) !== v;

  // Why a case lies outside the fit or what the calculator accepts, as
  // `surgekit run` lists it.
  function caseFlags(location, p, r, d, curve) {
    const flags = [];
    if (!(p >= limits.fitted_pressure[0] && p <= limits.fitted_pressure[1])) flags.push('pressure_range');
    if (!(r >= limits.fitted_radius[0] && r <= limits.fitted_radius[1])) flags.push('radius_range');
    if (location >= limits.first_west_only_location && d <= 0) flags.push('distance_side');
    // Beyond every curve's fitted range the surge is the slope term alone.
    if (curve === 'none') flags.push('distance_range');
    if (hasFraction(p)) flags.push('pressure_fraction');
    if (hasFraction(r)) flags.push('radius_fraction');
    return flags.join(';');
  }

  // The physical domain: finite values, a pressure deficit, a positive
  // radius, and a landfall west of the bridge at the west-only locations.
  function evaluable(location, p, r, d) {
    return Number.isFinite(p) && p < limits.no_deficit_pressure && Number.isFinite(r) && r > 0 &&
        Number.isFinite(d) && !(location >= limits.first_west_only_location && !(d > 0));
  }

  // ---- The model -------------------------------------------------------------

  let model = null;

  function loadTable(instance) {
    const columns = instance._surge_web_column_count();
    if (data.table.length !== columns) throw new Error('the embedded table has ' + data.table.length + ' columns, the model ' + columns);
    data.table.forEach((column, c) => column.forEach((hex, i) => {
      const bits = parseInt(hex, 16) >>> 0;
      if (!instance._surge_web_set(c, i + 1, bits) || instance._surge_web_get(c, i + 1) >>> 0 !== bits) {
        throw new Error('the model did not take the value of column ' + c + ', location ' + (i + 1));
      }
    }));
  }

  // The model's result for one case, or null when the case lies outside the
  // physical domain.
  function evaluate(location, p, r, d) {
    if (!evaluable(location, p, r, d) || !model._surge_web_evaluate(location, p, r, d)) return null;
    return {
      surge: model._surge_web_surge(),
      x: model._surge_web_x(),
      curve: CURVES[model._surge_web_curve()],
      side: SIDES[model._surge_web_side()],
    };
  }

  // The curve X falls on, also where the page does not evaluate the case (a
  // landfall the calculator refuses), so that the flags read as `surgekit run`'s.
  function curveAt(location, p, r, d) {
    if (!model._surge_web_evaluate(location, p, r, d)) return '';
    return CURVES[model._surge_web_curve()];
  }

  function checkLocation(location) {
    if (!Number.isInteger(location) || location < limits.first_location || location > limits.last_location) {
      throw new RangeError('location ' + location + ' is not a location number ' +
                           limits.first_location + ' to ' + limits.last_location);
    }
  }

  // ---- Controls ----------------------------------------------------------------

  const byId = id => document.getElementById(id);
  const state = {p: NaN, r: NaN, landfall: NaN, distance: NaN, location: data.locations[0] || 1};
  const controls = {};

  // A slider and a number field for one state value: each follows the other;
  // the number field may go beyond the slider's range.
  function bindPair(id, key) {
    const slider = byId(id + '-range'), field = byId(id);
    if (!slider || !field) return;
    controls[key] = {slider, field};
    state[key] = field.valueAsNumber;
    slider.addEventListener('input', () => {
      field.value = slider.value;
      state[key] = slider.valueAsNumber;
      schedule();
    });
    field.addEventListener('input', () => {
      state[key] = field.valueAsNumber;  // NaN when empty or not a number
      if (Number.isFinite(state[key])) slider.value = String(state[key]);
      schedule();
    });
  }

  let pending = false;
  function schedule() {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      redraw();
    });
  }

  // ---- Drawing -----------------------------------------------------------------

  const escape = s => String(s).replace(/[&<>"]/g, c => ({'&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;'})[c]);
  const label = v => (Math.abs(v) < 1e-9 ? 0 : +v.toPrecision(6)).toString();

  // A step of 1, 2 or 5 times a power of ten giving about `count` ticks.
  function tickStep(span, count) {
    const raw = span / count, power = Math.pow(10, Math.floor(Math.log10(raw)));
    const f = raw / power;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * power;
  }

  // The frame of a plot: axes with ticks, and functions from data to pixels.
  function frame(width, height, xFrom, xTo, yTo, xTitle, yTitle, title) {
    const left = 56, right = 16, top = 30, bottom = 44;
    const px = x => left + (x - xFrom) / (xTo - xFrom) * (width - left - right);
    const py = y => height - bottom - y / yTo * (height - top - bottom);
    let svg = '<svg xmlns="http://www.w3.org/2000/svg" width="' + width + '" height="' + height +
        '" viewBox="0 0 ' + width + ' ' + height + '" font-family="DejaVu Sans, Arial, sans-serif" font-size="11">' +
        '<text x="' + left + '" y="18" font-size="12" font-weight="bold">' + escape(title) + '</text>';
    const xs = tickStep(xTo - xFrom, 8);
    for (let t = Math.ceil(xFrom / xs) * xs; t <= xTo + 1e-9; t += xs) {
      svg += '<line x1="' + px(t) + '" x2="' + px(t) + '" y1="' + py(0) + '" y2="' + (py(0) + 4) + '" stroke="#444"/>' +
          '<text x="' + px(t) + '" y="' + (py(0) + 16) + '" text-anchor="middle">' + label(t) + '</text>';
    }
    const ys = tickStep(yTo, 5);
    for (let t = 0; t <= yTo + 1e-9; t += ys) {
      svg += '<line x1="' + left + '" x2="' + (width - right) + '" y1="' + py(t) + '" y2="' + py(t) + '" stroke="#e4e4e4"/>' +
          '<text x="' + (left - 6) + '" y="' + (py(t) + 4) + '" text-anchor="end">' + label(t) + '</text>';
    }
    svg += '<line x1="' + left + '" x2="' + (width - right) + '" y1="' + py(0) + '" y2="' + py(0) + '" stroke="#444"/>' +
        '<text x="' + ((left + width - right) / 2) + '" y="' + (height - 8) + '" text-anchor="middle">' + escape(xTitle) + '</text>' +
        '<text transform="translate(14 ' + ((top + height - bottom) / 2) + ') rotate(-90)" text-anchor="middle">' + escape(yTitle) + '</text>';
    return {svg, px, py, left, right, top, bottom};
  }

  // A round upper bound of the y axis above `v`.
  const yLimit = v => {
    const step = tickStep(Math.max(v, 0.5) * 1.1, 5);
    return Math.ceil(Math.max(v, 0.5) * 1.1 / step) * step;
  };

  // The bars along the coast: the surge at every bridge for the current
  // landfall, each low chord marked, a bar above its low chord in red.
  function barsSvg(rows) {
    const along = sites.map(s => s.alongshore_km);
    const xFrom = Math.min(state.landfall, ...along) - 20, xTo = Math.max(state.landfall, ...along) + 20;
    let top = 0;
    rows.forEach((row, i) => {
      if (row.result) top = Math.max(top, row.result.surge);
      if (sites[i].low_chord_m !== null) top = Math.max(top, sites[i].low_chord_m);
    });
    const f = frame(760, 280, xFrom, xTo, yLimit(top), 'along the coast (km)', 'surge (m)',
                    'Surge at each bridge, pressure ' + label(state.p) + ' mb, radius ' + label(state.r) + ' km');
    let svg = f.svg;
    const barWidth = Math.max(4, Math.min(16, (f.px(xTo) - f.px(xFrom)) / sites.length * 0.45));
    rows.forEach((row, i) => {
      const site = sites[i], x = f.px(site.alongshore_km);
      const chord = site.low_chord_m;
      if (row.result) {
        const s = Math.max(0, row.result.surge);
        const over = chord !== null && row.result.surge >= chord;
        svg += '<rect class="sk-bar" data-location="' + site.location + '" x="' + (x - barWidth / 2) + '" y="' + f.py(s) +
            '" width="' + barWidth + '" height="' + (f.py(0) - f.py(s)) + '" fill="' + (over ? '#d62728' : '#1f77b4') + '"/>';
      } else {
        svg += '<text class="sk-not-evaluated" x="' + x + '" y="' + (f.py(0) - 4) + '" text-anchor="middle" font-size="9" fill="#777">n/e</text>';
      }
      if (chord !== null) {
        svg += '<line class="sk-chord" x1="' + (x - barWidth / 2 - 4) + '" x2="' + (x + barWidth / 2 + 4) + '" y1="' + f.py(chord) +
            '" y2="' + f.py(chord) + '" stroke="#222" stroke-width="2"/>';
      }
    });
    const lx = f.px(state.landfall);
    svg += '<line x1="' + lx + '" x2="' + lx + '" y1="' + f.top + '" y2="' + f.py(0) + '" stroke="#2ca02c" stroke-dasharray="4 3"/>' +
        '<text x="' + (760 - f.right) + '" y="18" text-anchor="end" fill="#2ca02c">landfall (dashed), low chord (black)</text>';
    return svg + '</svg>';
  }

  // The selected location's surge along distance, the current case marked.
  // West-only locations are drawn for positive distances only.
  function curveSvg(location, d, result) {
    const r = state.r;
    const westOnly = location >= limits.first_west_only_location;
    let from = Number.isFinite(r) && r > 0 ? (DISTANCE_ORIGIN - 6) * r : -200;
    let to = Number.isFinite(r) && r > 0 ? (DISTANCE_ORIGIN + 12) * r : 400;
    if (Number.isFinite(d)) {
      from = Math.min(from, d - 10);
      to = Math.max(to, d + 10);
    }
    const samples = 400, points = [];
    let top = result ? result.surge : 0;
    for (let k = 0; k <= samples; ++k) {
      const dk = from + (to - from) * k / samples;
      const rk = evaluate(location, state.p, r, dk);
      points.push(rk ? [dk, rk.surge] : null);
      if (rk) top = Math.max(top, rk.surge);
    }
    const f = frame(760, 260, from, to, yLimit(top), 'distance from landfall to bridge (km)', 'surge (m)',
                    'Location ' + location + ': surge along distance');
    // One path; a case outside the domain breaks the line.
    let svg = f.svg, path = '', drawing = false;
    points.forEach(p => {
      if (!p) {
        drawing = false;
        return;
      }
      path += (drawing ? 'L' : 'M') + f.px(p[0]).toFixed(1) + ' ' + f.py(Math.max(0, p[1])).toFixed(1);
      drawing = true;
    });
    svg += '<path d="' + path + '" fill="none" stroke="#1f77b4" stroke-width="1.6"/>';
    if (westOnly && from < 0) {
      svg += '<text x="' + ((f.px(from) + f.px(Math.min(0, to))) / 2) + '" y="' + (f.top + 14) +
          '" text-anchor="middle" fill="#777">not evaluated</text>';
    }
    if (result) {
      svg += '<circle class="sk-current" cx="' + f.px(d) + '" cy="' + f.py(Math.max(0, result.surge)) + '" r="4.5" fill="#d62728"/>';
    }
    return svg + '</svg>';
  }

  const COLUMNS = ['location', 'name', 'pressure_mb', 'radius_km', 'distance_km', 'surge_m',
                   'surge_report', 'side', 'x', 'curve', 'flags'];
  const TEXT_COLUMNS = new Set(['name', 'side', 'curve', 'flags']);

  function valuesTable(rows) {
    const columns = sites ? COLUMNS : COLUMNS.filter(c => c !== 'name');
    let html = '<table id="sk-values-table"><caption>Values, in the columns of surgekit run</caption><thead><tr>' +
        columns.map(c => '<th' + (TEXT_COLUMNS.has(c) ? ' class="text"' : '') + '>' + c + '</th>').join('') +
        '</tr></thead><tbody>';
    rows.forEach(row => {
      const res = row.result;
      const cells = {
        location: String(row.location),
        name: row.name || '',
        pressure_mb: shortest(state.p),
        radius_km: shortest(state.r),
        distance_km: shortest(row.d),
        surge_m: res ? shortest(res.surge) : 'not evaluated',
        surge_report: res ? reportSurge(res.surge) : '',
        side: res ? res.side : '',
        x: res ? shortest(res.x) : '',
        curve: res ? res.curve : '',
        flags: caseFlags(row.location, state.p, state.r, row.d,
                         res ? res.curve : curveAt(row.location, state.p, state.r, row.d)),
      };
      html += '<tr data-location="' + row.location + '">' + columns.map(c =>
          '<td class="' + (TEXT_COLUMNS.has(c) ? 'text ' : '') + 'sk-' + c + (c === 'surge_m' && !res ? ' sk-none' : '') + '">' +
          escape(cells[c]) + '</td>').join('') + '</tr>';
    });
    return html + '</tbody></table>';
  }

  const plots = byId('sk-plots'), values = byId('sk-values');

  function redraw() {
    const start = performance.now();
    const location = state.location;
    let rows, selected;
    if (sites) {
      rows = sites.map(site => {
        const d = site.alongshore_km - state.landfall;
        return {location: site.location, name: site.name, d, result: evaluate(site.location, state.p, state.r, d)};
      });
      selected = rows.find(row => row.location === location) || rows[0];
    } else {
      selected = {location, d: state.distance, result: evaluate(location, state.p, state.r, state.distance)};
      rows = [selected];
    }
    plots.innerHTML = (sites ? barsSvg(rows) : '') + curveSvg(selected.location, selected.d, selected.result);
    values.innerHTML = valuesTable(rows);
    window.surgekit.lastRedrawMs = performance.now() - start;
  }

  // ---- Start -------------------------------------------------------------------

  let resolveReady, rejectReady;
  window.surgekit = {
    ready: new Promise((resolve, reject) => {
      resolveReady = resolve;
      rejectReady = reject;
    }),
    // The model's surge in metres for one case; NaN outside the physical
    // domain (as the page shows "not evaluated"). Throws a RangeError for a
    // location that is not 1 to 20, and an Error before `ready` settles.
    surgeAt(location, pressureMb, radiusKm, distanceKm) {
      if (!model) throw new Error('the model is not loaded yet: wait for surgekit.ready');
      checkLocation(location);
      const result = evaluate(location, +pressureMb, +radiusKm, +distanceKm);
      return result ? result.surge : NaN;
    },
    lastRedrawMs: NaN,  // how long the last redraw took, for timing the page
  };

  // Compiled synchronously (so that nothing is fetched), the factory hands
  // back the module itself, whose `ready` promise gives the started module.
  const created = createSurgeModel();
  const started = typeof created.then === 'function' ? created : created.ready;
  started.then(instance => {
    loadTable(instance);
    model = instance;
    bindPair('sk-pressure', 'p');
    bindPair('sk-radius', 'r');
    bindPair('sk-landfall', 'landfall');
    bindPair('sk-distance', 'distance');
    const select = byId('sk-location');
    state.location = parseInt(select.value, 10);
    const choose = () => {
      state.location = parseInt(select.value, 10);
      schedule();
    };
    select.addEventListener('input', choose);
    select.addEventListener('change', choose);
    status.textContent = '';
    redraw();
    resolveReady();
  }).catch(error => {
    status.textContent = 'The model could not be started: ' + error;
    rejectReady(error);
  });
})();

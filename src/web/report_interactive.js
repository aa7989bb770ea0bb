// The report's interactive section: reads the coefficient table surgekit
// embedded (single-precision bit patterns), hands it to the model built to
// WebAssembly, and redraws the bars along the coast, the selected location's
// curve and the values table on every change of a control, within the next
// animation frame, by updating the elements drawn at the start in place.
// Offers window.surgekit.ready and window.surgekit.surgeAt.
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

  // The physical domain: finite values, a pressure above 0 with a deficit,
  // and a positive radius. A distance that is not positive at the west-only
  // locations is evaluated and flagged distance_side, as `surgekit run` does.
  function evaluable(p, r, d) {
    return Number.isFinite(p) && p > 0 && p < limits.no_deficit_pressure && Number.isFinite(r) &&
        r > 0 && Number.isFinite(d);
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
    if (!evaluable(p, r, d) || !model._surge_web_evaluate(location, p, r, d)) return null;
    return {
      surge: model._surge_web_surge(),
      x: model._surge_web_x(),
      curve: CURVES[model._surge_web_curve()],
      side: SIDES[model._surge_web_side()],
    };
  }

  // The curve X falls on, also where the page does not evaluate the case (no
  // pressure deficit, no radius), so that its flags still name every range
  // the case leaves.
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
  //
  // The plots and the table are built once. A redraw moves their marks and
  // rewrites only the texts that changed, so that a change costs little more
  // than the model's evaluations; an axis is rebuilt only when its range moves.

  const SVG_NS = 'http://www.w3.org/2000/svg';
  const label = v => (Math.abs(v) < 1e-9 ? 0 : +v.toPrecision(6)).toString();

  // An SVG element with its attributes, appended to `parent`.
  function svgElement(parent, name, attributes, text) {
    const e = document.createElementNS(SVG_NS, name);
    for (const key in attributes) e.setAttribute(key, attributes[key]);
    if (text !== undefined) e.textContent = text;
    parent.appendChild(e);
    return e;
  }

  // Sets the attributes whose values changed: one that stays costs no style
  // or layout work.
  function update(e, attributes) {
    const held = e.skHeld || (e.skHeld = {});
    for (const key in attributes) {
      const value = String(attributes[key]);
      if (held[key] !== value) {
        held[key] = value;
        e.setAttribute(key, value);
      }
    }
  }
  const show = (e, shown) => update(e, {display: shown ? 'inline' : 'none'});
  function setText(e, text) {
    if (e.skText === text) return;
    e.skText = text;
    e.textContent = text;
  }

  // A step of 1, 2 or 5 times a power of ten giving about `count` ticks.
  function tickStep(span, count) {
    const raw = span / count, power = Math.pow(10, Math.floor(Math.log10(raw)));
    const f = raw / power;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * power;
  }

  // A round upper bound of the y axis above `v`.
  const yLimit = v => {
    const step = tickStep(Math.max(v, 0.5) * 1.1, 5);
    return Math.ceil(Math.max(v, 0.5) * 1.1 / step) * step;
  };

  const MARGIN = {left: 56, right: 16, top: 44, bottom: 44};
  const plots = byId('sk-plots'), values = byId('sk-values');

  // A plot's frame: its title, its axes' titles, a layer under the axes (for
  // bands), the axes and a layer for the marks.
  function makePlot(id, width, height, xTitle, yTitle) {
    const svg = svgElement(plots, 'svg', {
      id, width, height, viewBox: '0 0 ' + width + ' ' + height,
      'font-family': 'DejaVu Sans, Arial, sans-serif', 'font-size': 11,
    });
    const plot = {svg, width, height, range: ''};
    plot.title = svgElement(svg, 'text', {x: MARGIN.left, y: 18, 'font-size': 12, 'font-weight': 'bold'});
    svgElement(svg, 'text', {x: (MARGIN.left + width - MARGIN.right) / 2, y: height - 8, 'text-anchor': 'middle'}, xTitle);
    svgElement(svg, 'text', {
      transform: 'translate(14 ' + (MARGIN.top + height - MARGIN.bottom) / 2 + ') rotate(-90)',
      'text-anchor': 'middle',
    }, yTitle);
    plot.under = svgElement(svg, 'g', {});
    plot.axes = svgElement(svg, 'g', {});
    plot.marks = svgElement(svg, 'g', {});
    return plot;
  }

  // Sets the plot's scales, x from `xFrom` to `xTo` and y from 0 up to `yTo`
  // (a larger surge higher), and draws the ticks when the range changed.
  function setRange(plot, xFrom, xTo, yTo) {
    const x0 = MARGIN.left, xSpan = plot.width - MARGIN.left - MARGIN.right;
    const y0 = plot.height - MARGIN.bottom, ySpan = plot.height - MARGIN.top - MARGIN.bottom;
    plot.px = x => x0 + (x - xFrom) / (xTo - xFrom) * xSpan;
    plot.py = y => y0 - y / yTo * ySpan;
    const range = xFrom + ' ' + xTo + ' ' + yTo;
    if (range === plot.range) return;
    plot.range = range;
    const right = plot.width - MARGIN.right;
    let markup = '';
    const xs = tickStep(xTo - xFrom, 8);
    for (let k = Math.ceil(xFrom / xs); k * xs <= xTo + 1e-9; ++k) {
      const x = plot.px(k * xs);
      markup += '<g class="sk-xtick"><line x1="' + x + '" x2="' + x + '" y1="' + y0 + '" y2="' + (y0 + 4) +
          '" stroke="#444"/><text x="' + x + '" y="' + (y0 + 16) + '" text-anchor="middle">' + label(k * xs) + '</text></g>';
    }
    const ys = tickStep(yTo, 5);
    for (let k = 0; k * ys <= yTo + 1e-9; ++k) {
      const y = plot.py(k * ys);
      markup += '<g class="sk-ytick"><line x1="' + x0 + '" x2="' + right + '" y1="' + y + '" y2="' + y +
          '" stroke="#e4e4e4"/><text x="' + (x0 - 6) + '" y="' + (y + 4) + '" text-anchor="end">' + label(k * ys) + '</text></g>';
    }
    markup += '<line x1="' + x0 + '" x2="' + right + '" y1="' + y0 + '" y2="' + y0 + '" stroke="#444"/>';
    plot.axes.innerHTML = markup;
  }

  // Bar colours: at or above the low chord red, below it blue; pale where
  // the case is flagged distance_side.
  const BAR_FILL = {under: '#1f77b4', over: '#d62728', paleUnder: '#a9c8e4', paleOver: '#f0a3a4'};

  // The bars along the coast: one bar, one "n/e" and one low-chord mark per
  // bridge, and the landfall's line.
  function makeBars() {
    const plot = makePlot('sk-bars', 760, 280, 'along the coast (km)', 'surge (m)');
    svgElement(plot.svg, 'text', {x: 760 - MARGIN.right, y: 34, 'text-anchor': 'end', fill: '#555'},
               'dashed: landfall; black: low chord; red: at or above it; pale: flagged distance_side');
    plot.landfall = svgElement(plot.marks, 'line', {stroke: '#2ca02c', 'stroke-dasharray': '4 3'});
    plot.bridges = sites.map(site => ({
      bar: svgElement(plot.marks, 'rect', {class: 'sk-bar', 'data-location': site.location}),
      none: svgElement(plot.marks, 'text', {class: 'sk-not-evaluated', 'text-anchor': 'middle', 'font-size': 9, fill: '#777'}, 'n/e'),
      chord: site.low_chord_m === null ? null : svgElement(plot.marks, 'line', {
        class: 'sk-chord', 'data-location': site.location, stroke: '#222', 'stroke-width': 2,
      }),
    }));
    return plot;
  }

  function drawBars(plot, rows) {
    const along = sites.map(s => s.alongshore_km);
    const landfall = Number.isFinite(state.landfall) ? [state.landfall] : [];
    const xFrom = Math.min(...landfall, ...along) - 20, xTo = Math.max(...landfall, ...along) + 20;
    let top = 0;
    rows.forEach((row, i) => {
      if (row.result) top = Math.max(top, row.result.surge);
      if (sites[i].low_chord_m !== null) top = Math.max(top, sites[i].low_chord_m);
    });
    setRange(plot, xFrom, xTo, yLimit(top));
    setText(plot.title, 'Surge at each bridge, pressure ' + label(state.p) + ' mb, radius ' + label(state.r) + ' km');
    const width = Math.max(4, Math.min(16, (plot.px(xTo) - plot.px(xFrom)) / sites.length * 0.45));
    const y0 = plot.py(0);
    rows.forEach((row, i) => {
      const marks = plot.bridges[i], x = plot.px(sites[i].alongshore_km), chord = sites[i].low_chord_m;
      const result = row.result;
      show(marks.bar, result);
      show(marks.none, !result);
      if (result) {
        const y = plot.py(Math.max(0, result.surge));
        const over = chord !== null && result.surge >= chord;
        const fill = row.distanceSide ? (over ? BAR_FILL.paleOver : BAR_FILL.paleUnder) : (over ? BAR_FILL.over : BAR_FILL.under);
        update(marks.bar, {x: x - width / 2, y, width, height: y0 - y, fill});
      } else {
        update(marks.none, {x, y: y0 - 4});
      }
      if (marks.chord) {
        const y = plot.py(chord);
        update(marks.chord, {x1: x - width / 2 - 4, x2: x + width / 2 + 4, y1: y, y2: y});
      }
    });
    const x = plot.px(state.landfall);
    show(plot.landfall, landfall.length > 0);
    if (landfall.length > 0) update(plot.landfall, {x1: x, x2: x, y1: MARGIN.top, y2: y0});
  }

  // The selected location's surge along distance, the current case marked.
  // At the west-only locations the stretch of distances up to 0 is shaded and
  // its line dashed: the case is evaluated there and flagged distance_side.
  function makeCurve() {
    const plot = makePlot('sk-curve', 760, 260, 'distance from landfall to bridge (km)', 'surge (m)');
    plot.band = svgElement(plot.under, 'rect', {fill: '#ececec'});
    plot.bandLabel = svgElement(plot.marks, 'text', {'text-anchor': 'middle', fill: '#666'}, 'flagged: distance \u2264 0');
    plot.flagged = svgElement(plot.marks, 'path', {fill: 'none', stroke: '#1f77b4', 'stroke-width': 1.6, 'stroke-dasharray': '5 4'});
    plot.line = svgElement(plot.marks, 'path', {fill: 'none', stroke: '#1f77b4', 'stroke-width': 1.6});
    plot.current = svgElement(plot.marks, 'circle', {class: 'sk-current', r: 4.5, fill: '#d62728'});
    plot.none = svgElement(plot.marks, 'text', {'text-anchor': 'middle', fill: '#777'}, 'not evaluated');
    return plot;
  }

  const SAMPLES = 400;
  const sampled = new Float64Array(SAMPLES + 1);

  function drawCurve(plot, location, d, result) {
    const r = state.r;
    const westOnly = location >= limits.first_west_only_location;
    let from = Number.isFinite(r) && r > 0 ? (DISTANCE_ORIGIN - 6) * r : -200;
    let to = Number.isFinite(r) && r > 0 ? (DISTANCE_ORIGIN + 12) * r : 400;
    if (Number.isFinite(d)) {
      from = Math.min(from, d - 10);
      to = Math.max(to, d + 10);
    }
    let top = result ? result.surge : 0, evaluated = 0;
    for (let k = 0; k <= SAMPLES; ++k) {
      const rk = evaluate(location, state.p, r, from + (to - from) * k / SAMPLES);
      sampled[k] = rk ? rk.surge : NaN;
      if (rk) {
        top = Math.max(top, rk.surge);
        ++evaluated;
      }
    }
    setRange(plot, from, to, yLimit(top));
    setText(plot.title, 'Location ' + location + ': surge along distance');
    // A case outside the domain breaks the line; where the line changes from
    // dashed to solid, the new stretch starts at the last point of the old.
    let solid = '', dashed = '', last = null, lastFlagged = null;
    for (let k = 0; k <= SAMPLES; ++k) {
      if (Number.isNaN(sampled[k])) {
        last = null;
        continue;
      }
      const dk = from + (to - from) * k / SAMPLES;
      const point = plot.px(dk).toFixed(1) + ' ' + plot.py(Math.max(0, sampled[k])).toFixed(1);
      const flagged = westOnly && !(dk > 0);
      let path = flagged ? dashed : solid;
      if (last === null) path += 'M' + point;
      else if (flagged !== lastFlagged) path += 'M' + last + 'L' + point;
      else path += 'L' + point;
      if (flagged) dashed = path;
      else solid = path;
      last = point;
      lastFlagged = flagged;
    }
    update(plot.line, {d: solid});
    update(plot.flagged, {d: dashed});
    const band = westOnly && from < 0;
    show(plot.band, band);
    show(plot.bandLabel, band);
    if (band) {
      const left = plot.px(from), right = plot.px(Math.min(0, to));
      update(plot.band, {x: left, y: MARGIN.top, width: right - left, height: plot.py(0) - MARGIN.top});
      update(plot.bandLabel, {x: (left + right) / 2, y: MARGIN.top + 14});
    }
    show(plot.current, result);
    if (result) update(plot.current, {cx: plot.px(d), cy: plot.py(Math.max(0, result.surge))});
    show(plot.none, evaluated === 0);
    update(plot.none, {x: (MARGIN.left + plot.width - MARGIN.right) / 2, y: (MARGIN.top + plot.py(0)) / 2});
  }

  const COLUMNS = ['location', 'name', 'pressure_mb', 'radius_km', 'distance_km', 'surge_m',
                   'surge_report', 'side', 'x', 'curve', 'flags'];
  const TEXT_COLUMNS = new Set(['name', 'side', 'curve', 'flags']);

  // The values table with one row per bridge (one row without sites). Its
  // cells are filled by fillTable().
  function makeTable(rowCount) {
    const columns = sites ? COLUMNS : COLUMNS.filter(c => c !== 'name');
    const cellClass = c => (TEXT_COLUMNS.has(c) ? 'text ' : '') + 'sk-' + c;
    const row = '<tr>' + columns.map(c => '<td class="' + cellClass(c) + '"></td>').join('') + '</tr>';
    values.innerHTML = '<table id="sk-values-table"><caption>Values, in the columns of surgekit run</caption><thead><tr>' +
        columns.map(c => '<th' + (TEXT_COLUMNS.has(c) ? ' class="text"' : '') + '>' + c + '</th>').join('') +
        '</tr></thead><tbody>' + row.repeat(rowCount) + '</tbody></table>';
    return Array.from(values.querySelectorAll('tbody tr')).map(tr => ({
      tr, cells: Object.fromEntries(columns.map((c, i) => [c, tr.children[i]])),
    }));
  }

  // Flags with a place to break after each semicolon: several flags are one
  // word to the browser, which would widen the table beyond the page.
  function setFlags(td, text) {
    if (td.skText === text) return;
    td.skText = text;
    td.replaceChildren();
    text.split(';').forEach((word, i) => {
      if (i > 0) td.append(';', document.createElement('wbr'));
      td.append(word);
    });
  }

  function fillTable(tableRows, rows) {
    rows.forEach((row, i) => {
      const {tr, cells} = tableRows[i], result = row.result;
      update(tr, {'data-location': row.location});
      setText(cells.location, String(row.location));
      if (cells.name) setText(cells.name, row.name || '');
      setText(cells.pressure_mb, shortest(state.p));
      setText(cells.radius_km, shortest(state.r));
      setText(cells.distance_km, shortest(row.d));
      setText(cells.surge_m, result ? shortest(result.surge) : 'not evaluated');
      update(cells.surge_m, {class: 'sk-surge_m' + (result ? '' : ' sk-none')});
      setText(cells.surge_report, result ? reportSurge(result.surge) : '');
      setText(cells.side, result ? result.side : '');
      setText(cells.x, result ? shortest(result.x) : '');
      setText(cells.curve, result ? result.curve : '');
      setFlags(cells.flags, caseFlags(row.location, state.p, state.r, row.d,
                                      result ? result.curve : curveAt(row.location, state.p, state.r, row.d)));
    });
  }

  let bars = null, curve = null, tableRows = null;

  function redraw() {
    const start = performance.now();
    const location = state.location;
    const caseRow = (location, name, d) => ({
      location, name, d, result: evaluate(location, state.p, state.r, d),
      distanceSide: location >= limits.first_west_only_location && !(d > 0),
    });
    let rows, selected;
    if (sites) {
      rows = sites.map(site => caseRow(site.location, site.name, site.alongshore_km - state.landfall));
      selected = rows.find(row => row.location === location) || rows[0];
      drawBars(bars, rows);
    } else {
      selected = caseRow(location, '', state.distance);
      rows = [selected];
    }
    drawCurve(curve, selected.location, selected.d, selected.result);
    fillTable(tableRows, rows);
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
    lastRedrawMs: NaN,  // the last redraw's script time, without style and layout
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
    if (sites) bars = makeBars();
    curve = makeCurve();
    tableRows = makeTable(sites ? sites.length : 1);
    redraw();
    resolveReady();
  }).catch(error => {
    status.textContent = 'The model could not be started: ' + error;
    rejectReady(error);
  });
})();

// Injected into a copy of the report by report_browser_test.sh, and into the
// page by report_interactive_test.mjs: lists every pair of overlapping texts,
// and every text reaching outside its plot, as the browser lays them out with
// its real fonts; and every table cell whose text reaches outside the cell or
// whose cell reaches outside the table's container, a box that clips it, or
// the page's width. The list goes into the DOM.
(function () {
  const found = [];
  const overlap = (p, q) => p.left < q.right - 0.5 && q.left < p.right - 0.5 &&
                            p.top < q.bottom - 0.5 && q.top < p.bottom - 0.5;
  const outside = (inner, outer) => inner.left < outer.left - 0.5 || inner.right > outer.right + 0.5 ||
                                    inner.top < outer.top - 0.5 || inner.bottom > outer.bottom + 0.5;
  document.querySelectorAll('svg').forEach((svg, i) => {
    const frame = svg.getBoundingClientRect();
    const texts = Array.from(svg.querySelectorAll('text'))
        .map(t => ({text: t.textContent, box: t.getBoundingClientRect()}))
        .filter(t => t.box.width > 0);
    texts.forEach((a, j) => {
      if (outside(a.box, frame)) found.push('plot ' + i + ': "' + a.text + '" reaches outside the plot');
      texts.slice(j + 1).forEach(b => {
        if (overlap(a.box, b.box)) found.push('plot ' + i + ': "' + a.text + '" overlaps "' + b.text + '"');
      });
    });
  });
  // The interactive section draws its table once its script has run.
  if (document.getElementById('sk-data') && !document.getElementById('sk-values-table')) {
    found.push('the interactive section has no values table');
  }
  const page = document.documentElement.clientWidth;
  document.querySelectorAll('table').forEach((table, i) => {
    const container = table.parentElement.getBoundingClientRect();
    const clips = [];
    for (let e = table.parentElement; e && e !== document.documentElement; e = e.parentElement) {
      if (getComputedStyle(e).overflowX !== 'visible') clips.push(e.getBoundingClientRect());
    }
    table.querySelectorAll('th, td').forEach(cell => {
      if (cell.textContent === '') return;
      const range = document.createRange();
      range.selectNodeContents(cell);
      const text = range.getBoundingClientRect(), box = cell.getBoundingClientRect();
      const name = 'table ' + i + ': "' + cell.textContent + '"';
      if (outside(text, box)) {
        found.push(name + ' reaches outside its cell');
      } else if (box.left < container.left - 0.5 || box.right > container.right + 0.5) {
        found.push(name + ' reaches outside the table\'s container');
      } else if (box.left < -0.5 || box.right > page + 0.5 || clips.some(c => box.left < c.left - 0.5 || box.right > c.right + 0.5)) {
        found.push(name + ' is cut off');
      }
    });
  });
  const pre = document.createElement('pre');
  pre.id = 'text-overlaps';
  pre.textContent = 'TEXT OVERLAPS: ' + found.length + '\n' + found.join('\n');
  document.body.appendChild(pre);
})();

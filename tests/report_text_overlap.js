// Injected into a copy of the report by report_browser_test.sh: lists every
// pair of overlapping texts, and every text reaching outside its plot, as the
// browser lays them out with its real fonts. The list goes into the DOM.
(function () {
  const found = [];
  const overlap = (p, q) => p.left < q.right - 0.5 && q.left < p.right - 0.5 &&
                            p.top < q.bottom - 0.5 && q.top < p.bottom - 0.5;
  document.querySelectorAll('svg').forEach((svg, i) => {
    const frame = svg.getBoundingClientRect();
    const texts = Array.from(svg.querySelectorAll('text'))
        .map(t => ({text: t.textContent, box: t.getBoundingClientRect()}))
        .filter(t => t.box.width > 0);
    texts.forEach((a, j) => {
      if (a.box.left < frame.left - 0.5 || a.box.right > frame.right + 0.5 ||
          a.box.top < frame.top - 0.5 || a.box.bottom > frame.bottom + 0.5) {
        found.push('plot ' + i + ': "' + a.text + '" reaches outside the plot');
      }
      texts.slice(j + 1).forEach(b => {
        if (overlap(a.box, b.box)) found.push('plot ' + i + ': "' + a.text + '" overlaps "' + b.text + '"');
      });
    });
  });
  const pre = document.createElement('pre');
  pre.id = 'text-overlaps';
  pre.textContent = 'TEXT OVERLAPS: ' + found.length + '\n' + found.join('\n');
  document.body.appendChild(pre);
})();

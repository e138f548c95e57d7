// What the report and the pages share: sortable tables, the comment filter of the table of
// answers, comments that point out their evidence, and marks that explain themselves on hover,
// tap and keyboard focus. The browser app binds each page it shows with TaviReport.bind().
(function () {
  'use strict';
  var tip = null;
  function hideTip() {
    if (!tip || tip.hidden) return;
    tip.hidden = true;
    document.querySelectorAll('mark[aria-describedby="mark-tip"]').forEach(function (m) {
      m.removeAttribute('aria-describedby');
    });
  }
  document.addEventListener('keydown', function (e) { if (e.key === 'Escape') hideTip(); });

  function bind() {
    // Tables with class "sortable": each header is a button that sorts by its column (again:
    // reversed); the header says how the table is sorted (aria-sort).
    document.querySelectorAll('table.sortable').forEach(function (table) {
      var headers = table.querySelectorAll('thead th');
      headers.forEach(function (th, col) {
        var button = document.createElement('button');
        button.type = 'button';
        button.className = 'sort';
        while (th.firstChild) button.appendChild(th.firstChild);
        th.appendChild(button);
        button.addEventListener('click', function () {
          var body = table.tBodies[0], rows = Array.prototype.slice.call(body.rows);
          var asc = th.getAttribute('aria-sort') !== 'ascending';
          headers.forEach(function (h) { h.removeAttribute('aria-sort'); });
          th.setAttribute('aria-sort', asc ? 'ascending' : 'descending');
          rows.sort(function (a, b) {
            var x = a.cells[col].getAttribute('data-v'), y = b.cells[col].getAttribute('data-v');
            var nx = parseFloat(x), ny = parseFloat(y);
            var c = (!isNaN(nx) && !isNaN(ny)) ? nx - ny : String(x).localeCompare(String(y), 'ja');
            return asc ? c : -c;
          });
          rows.forEach(function (r) { body.appendChild(r); });
        });
      });
    });

    // A table wider than the screen scrolls inside its wrapper, which keyboards can reach.
    document.querySelectorAll('.table-wrap').forEach(function (wrap) {
      if (wrap.scrollWidth > wrap.clientWidth) {
        wrap.tabIndex = 0;
        wrap.setAttribute('role', 'region');
        var caption = wrap.querySelector('table[aria-labelledby]');
        wrap.setAttribute('aria-label', '表（横にスクロールできます）');
        if (caption) wrap.setAttribute('aria-labelledby', caption.getAttribute('aria-labelledby'));
      }
    });

    // The comment counts: a comment's button shows only the answers that have it; pressed
    // again, all of them.
    var answers = document.getElementById('answers');
    var filters = document.querySelectorAll('#comment-counts button.filter');
    var status = document.getElementById('comment-filter-status');
    filters.forEach(function (button) {
      button.addEventListener('click', function () {
        var on = button.getAttribute('aria-pressed') !== 'true';
        filters.forEach(function (b) { b.setAttribute('aria-pressed', 'false'); });
        button.setAttribute('aria-pressed', on ? 'true' : 'false');
        var key = button.getAttribute('data-comment'), shown = 0;
        if (!answers) return;
        Array.prototype.forEach.call(answers.tBodies[0].rows, function (row) {
          var has = (' ' + (row.getAttribute('data-comments') || '') + ' ').indexOf(' ' + key + ' ') >= 0;
          row.hidden = on && !has;
          if (!row.hidden) shown += 1;
        });
        if (status) {
          status.textContent = on ? '「' + button.textContent + '」のある答案 ' + shown + ' 件を表示しています。'
            : '';
        }
      });
    });

    // Marks explain themselves in a popup on keyboard focus and on a tap, as on hover.
    function showTip(mark) {
      if (!tip) {
        tip = document.createElement('div');
        tip.id = 'mark-tip';
        tip.setAttribute('role', 'tooltip');
        document.body.appendChild(tip);
      }
      hideTip();
      tip.textContent = mark.getAttribute('data-title');
      tip.hidden = false;
      var box = mark.getBoundingClientRect();
      var left = Math.max(4, Math.min(box.left, document.documentElement.clientWidth - tip.offsetWidth - 4));
      tip.style.left = (left + window.scrollX) + 'px';
      tip.style.top = (box.bottom + window.scrollY + 4) + 'px';
      mark.setAttribute('aria-describedby', 'mark-tip');
    }
    document.querySelectorAll('.text mark[title]').forEach(function (mark) {
      mark.setAttribute('data-title', mark.getAttribute('title'));
      mark.tabIndex = 0;
      mark.addEventListener('focus', function () { showTip(mark); });
      mark.addEventListener('blur', hideTip);
      mark.addEventListener('click', function () { showTip(mark); });
    });

    // An answer's comment, chosen, outlines the marks of its evidence and scrolls to the first.
    document.querySelectorAll('.answer ol.comments li[data-c] button.comment').forEach(function (button) {
      var section = button.closest('.answer'), item = button.closest('li');
      button.addEventListener('click', function () {
        var on = button.getAttribute('aria-pressed') !== 'true';
        section.querySelectorAll('button.comment').forEach(function (b) { b.setAttribute('aria-pressed', 'false'); });
        section.querySelectorAll('.text mark.chosen').forEach(function (m) { m.classList.remove('chosen'); });
        if (!on) return;
        button.setAttribute('aria-pressed', 'true');
        var c = item.getAttribute('data-c'), first = null;
        section.querySelectorAll('.text mark[data-c]').forEach(function (m) {
          if ((' ' + m.getAttribute('data-c') + ' ').indexOf(' ' + c + ' ') < 0) return;
          m.classList.add('chosen');
          if (!first) first = m;
        });
        if (first) first.scrollIntoView({ block: 'center', behavior: 'smooth' });
      });
    });
  }

  window.TaviReport = { bind: bind };
  if (!window.TaviHost) bind();
}());

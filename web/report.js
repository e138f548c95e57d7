// Tables with class "sortable": a click on a header sorts by that column (again: reversed).
document.querySelectorAll('table.sortable').forEach(function (table) {
  table.querySelectorAll('th').forEach(function (th, col) {
    th.addEventListener('click', function () {
      var body = table.tBodies[0], rows = Array.prototype.slice.call(body.rows);
      var asc = th.getAttribute('data-dir') !== 'asc';
      table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('data-dir'); });
      th.setAttribute('data-dir', asc ? 'asc' : 'desc');
      rows.sort(function (a, b) {
        var x = a.cells[col].getAttribute('data-v'), y = b.cells[col].getAttribute('data-v');
        var nx = parseFloat(x), ny = parseFloat(y);
        var c = (!isNaN(nx) && !isNaN(ny)) ? nx - ny : x.localeCompare(y, 'ja');
        return asc ? c : -c;
      });
      rows.forEach(function (r) { body.appendChild(r); });
    });
  });
});

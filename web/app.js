// The pages of tavi-serve: forms sent to the JSON API, the job's progress, drag and drop.
(function () {
  'use strict';
  var meta = document.querySelector('meta[name="csrf-token"]');
  var csrf = meta ? meta.content : '';

  function showError(message) {
    var box = document.getElementById('error');
    if (!box) { window.alert(message); return; }
    box.textContent = message;
    box.hidden = false;
  }

  // Calls the API; resolves with the JSON answer, rejects with its error message.
  function api(method, url, body) {
    var options = { method: method, credentials: 'same-origin', headers: { 'X-CSRF-Token': csrf } };
    if (body instanceof FormData) {
      options.body = body;
    } else if (body !== undefined) {
      options.body = JSON.stringify(body);
      options.headers['Content-Type'] = 'application/json';
    }
    return fetch(url, options).then(function (response) {
      return response.json().catch(function () { return {}; }).then(function (json) {
        if (!response.ok) throw new Error(json.error || ('HTTP ' + response.status));
        return json;
      });
    });
  }

  function on(id, event, handler) {
    var element = document.getElementById(id);
    if (element) element.addEventListener(event, handler);
    return element;
  }

  on('login', 'submit', function (e) {
    e.preventDefault();
    var form = e.target;
    api('POST', '/api/login', { user: form.user.value, password: form.password.value })
      .then(function () { window.location.href = '/'; })
      .catch(function (error) { showError(error.message); });
  });

  on('logout', 'click', function () {
    api('POST', '/api/logout').then(function () { window.location.href = '/login'; })
      .catch(function (error) { showError(error.message); });
  });

  // New job: files from the picker and from drag and drop go together.
  var dropped = [];
  var drop = on('drop', 'dragover', function (e) { e.preventDefault(); drop.classList.add('over'); });
  on('drop', 'dragleave', function () { drop.classList.remove('over'); });
  on('drop', 'drop', function (e) {
    e.preventDefault();
    drop.classList.remove('over');
    var list = document.getElementById('dropped');
    Array.prototype.forEach.call(e.dataTransfer.files, function (file) {
      dropped.push(file);
      var item = document.createElement('li');
      item.textContent = file.name;
      list.appendChild(item);
    });
  });
  on('new-job', 'submit', function (e) {
    e.preventDefault();
    var form = e.target;
    var data = new FormData(form);
    var startNow = form.startNow.checked;
    data.delete('startNow');
    dropped.forEach(function (file) { data.append('answers', file, file.name); });
    document.getElementById('busy').hidden = false;
    api('POST', '/api/jobs', data)
      .then(function (job) {
        return (startNow ? api('POST', '/api/jobs/' + job.id + '/start') : Promise.resolve())
          .then(function () { window.location.href = '/jobs/' + job.id; });
      })
      .catch(function (error) { document.getElementById('busy').hidden = true; showError(error.message); });
  });

  // The job page: its buttons, and the progress while it is scored.
  var job = document.getElementById('job');
  if (job) {
    var id = job.dataset.id;
    var labels = { idle: '待機中', queued: '順番待ち', scoring: '採点中', done: '完了' };
    var update = function (state) {
      job.dataset.state = state.state;
      document.getElementById('state').textContent = labels[state.state] || state.state;
      var progress = document.getElementById('progress');
      progress.max = state.answers;
      progress.value = state.scored + state.failed;
      document.getElementById('count').textContent = state.scored + ' / ' + state.answers;
      document.getElementById('failed').textContent = state.failed ? '失敗 ' + state.failed + ' 件' : '';
      document.getElementById('paused').textContent = state.paused || '';
    };
    var poll = function () {
      api('GET', '/api/jobs/' + id).then(function (state) {
        update(state);
        if (state.state === 'done') { window.location.reload(); return; }
        if (state.state !== 'idle') window.setTimeout(poll, 1000);
      }).catch(function (error) { showError(error.message); });
    };
    job.querySelectorAll('button[data-action]').forEach(function (button) {
      button.addEventListener('click', function () {
        var action = button.dataset.action;
        if (action === 'delete') {
          if (!window.confirm('このジョブと答案をすべて削除します。よろしいですか？')) return;
          api('DELETE', '/api/jobs/' + id).then(function () { window.location.href = '/'; })
            .catch(function (error) { showError(error.message); });
          return;
        }
        api('POST', '/api/jobs/' + id + '/' + action).then(function (state) {
          update(state);
          if (action === 'start') poll();
        }).catch(function (error) { showError(error.message); });
      });
    });
    if (job.dataset.state === 'queued' || job.dataset.state === 'scoring') poll();
  }

  on('review', 'submit', function (e) {
    e.preventDefault();
    var form = e.target;
    var mark = form.mark.value === '' ? null : Number(form.mark.value);
    api('PUT', '/api/jobs/' + form.dataset.job + '/answers/' + form.dataset.number + '/review',
        { mark: mark, note: form.note.value })
      .then(function () { document.getElementById('saved').textContent = '保存しました'; })
      .catch(function (error) { showError(error.message); });
  });

  // An answer's page prints as its feedback sheet, with the mark and note as they stand in
  // the form (saved or not).
  var review = document.getElementById('review');
  if (review) {
    window.addEventListener('beforeprint', function () {
      var mark = document.querySelector('.printonly .teacher-mark');
      var note = document.querySelector('.printonly .teacher-note');
      var full = mark ? mark.getAttribute('data-full') : null;
      if (mark && full) mark.textContent = review.mark.value === '' ? '（未記入）' : review.mark.value + ' / ' + full + ' 点';
      if (note) note.textContent = review.note.value === '' ? '（なし）' : review.note.value;
    });
  }

  on('add-user', 'submit', function (e) {
    e.preventDefault();
    var form = e.target;
    api('POST', '/api/users', { name: form.name.value, password: form.password.value, admin: form.admin.checked })
      .then(function () { window.location.reload(); })
      .catch(function (error) { showError(error.message); });
  });
  document.querySelectorAll('button[data-remove-user]').forEach(function (button) {
    button.addEventListener('click', function () {
      var name = button.dataset.removeUser;
      if (!window.confirm(name + ' とそのジョブをすべて削除します。よろしいですか？')) return;
      api('DELETE', '/api/users/' + encodeURIComponent(name)).then(function () { window.location.reload(); })
        .catch(function (error) { showError(error.message); });
    });
  });
}());

// The pages of tavi-serve and of the browser app: forms sent to the JSON API, the job's progress,
// drag and drop. The browser app sets window.TaviHost ({api, go, reload}) before this file loads:
// its api() answers from the browser's own storage and engine instead of a server, and it binds
// each page it shows with TaviPages.bind().
(function () {
  'use strict';
  var meta = document.querySelector('meta[name="csrf-token"]');
  var csrf = meta ? meta.content : '';
  var host = window.TaviHost || null;
  var go = host ? host.go : function (url) { window.location.href = url; };
  var reload = host ? host.reload : function () { window.location.reload(); };

  function showError(message) {
    var box = document.getElementById('error');
    if (!box) { window.alert(message); return; }
    box.textContent = message;
    box.hidden = false;
  }

  // Calls the API; resolves with the JSON answer, rejects with its error message.
  function api(method, url, body) {
    if (host) return host.api(method, url, body);
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

  // Binds the page's forms and buttons; the browser app calls it again for each page it shows.
  function bind() {
    on('login', 'submit', function (e) {
      e.preventDefault();
      var form = e.target;
      api('POST', '/api/login', { user: form.user.value, password: form.password.value })
        .then(function () { go('/'); })
        .catch(function (error) { showError(error.message); });
    });

    on('logout', 'click', function () {
      api('POST', '/api/logout').then(function () { go('/login'); })
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
    // New job: the sheets among the answer files are previewed; their columns are chosen in three
    // selects, and the form lists what it will send.
    var sheetPreviews = [];  // { file, preview } of each sheet, in the order chosen
    var isSheet = function (file) { return /\.(csv|xlsx)$/i.test(file.name); };
    var chosenFiles = function () {
      var picker = document.getElementById('answers');
      return Array.prototype.slice.call(picker ? picker.files : []).concat(dropped);
    };
    // A column's value for the form: its header text when that names it alone, else its number.
    var columnValue = function (columns, index) {
      var text = columns[index];
      var same = columns.filter(function (c) { return c === text; }).length;
      return text && same === 1 && !/^[0-9]+$/.test(text) ? text : String(index + 1);
    };
    var columnIndex = function (columns, value) {
      if (value === '') return -1;
      var at = columns.indexOf(value);
      return at >= 0 ? at : (/^[0-9]+$/.test(value) ? Number(value) - 1 : -1);
    };
    var fillSelect = function (id, columns, proposed, allowNone) {
      var select = document.getElementById(id);
      select.textContent = '';
      if (allowNone) select.appendChild(new Option('なし', ''));
      columns.forEach(function (column, k) {
        select.appendChild(new Option((k + 1) + ': ' + (column || '（見出しなし）'), columnValue(columns, k)));
      });
      select.value = proposed ? columnValue(columns, proposed - 1) : '';
    };
    var showSample = function () {
      var table = document.getElementById('sheet-sample');
      if (!table || !sheetPreviews.length) return;
      var shown = sheetPreviews.filter(function (p) { return p.preview; })[0];
      if (!shown) return;
      var preview = shown.preview;
      var text = columnIndex(preview.columns, document.getElementById('text-column').value);
      table.textContent = '';
      var head = table.insertRow();
      preview.columns.forEach(function (column, k) {
        var th = document.createElement('th');
        th.textContent = column;
        if (k === text) th.className = 'chosen';
        head.appendChild(th);
      });
      preview.sample.forEach(function (cells) {
        var row = table.insertRow();
        cells.forEach(function (cell, k) {
          var td = row.insertCell();
          td.textContent = cell;
          if (k === text) td.className = 'chosen';
        });
      });
    };
    var showSendList = function () {
      var list = document.getElementById('send-list');
      if (!list) return;
      list.textContent = '';
      var files = chosenFiles();
      var textValue = document.getElementById('text-column').value;
      files.forEach(function (file) {
        var item = document.createElement('li');
        var found = sheetPreviews.filter(function (p) { return p.file === file; })[0];
        var what = file.name + '（' + (file.size / 1048576).toFixed(1) + ' MB）';
        if (isSheet(file)) {
          var column = found && found.preview ? columnIndex(found.preview.columns, textValue) : -1;
          if (found && found.error) what += '：表を読めません（' + found.error + '）';
          else what += found && column >= 0 ? '：表、回答文 ' + found.preview.answers[column] + ' 件' : '：表（列を確かめています…）';
        } else if (/\.zip$/i.test(file.name)) {
          what += '：zip（中の .txt と .docx を回答文として読みます）';
        } else {
          what += '：回答文 1 件';
        }
        item.textContent = what;
        list.appendChild(item);
      });
      if (!files.length) list.appendChild(document.createElement('li')).textContent = 'まだファイルが選ばれていません。';
    };
    var previewSheets = function () {
      var files = chosenFiles().filter(isSheet);
      sheetPreviews = sheetPreviews.filter(function (p) { return files.indexOf(p.file) >= 0; });
      var box = document.getElementById('sheet-columns');
      box.hidden = files.length === 0;
      var pending = files.filter(function (file) {
        return !sheetPreviews.some(function (p) { return p.file === file; });
      });
      showSendList();
      pending.forEach(function (file) {
        var data = new FormData();
        data.append('sheet', file, file.name);
        api('POST', '/api/sheets/columns', data).then(function (preview) {
          var first = !sheetPreviews.some(function (p) { return p.preview; });
          sheetPreviews.push({ file: file, preview: preview });
          if (first) {
            fillSelect('text-column', preview.columns, preview.proposed.text, false);
            fillSelect('name-column', preview.columns, preview.proposed.name, true);
            fillSelect('id-column', preview.columns, preview.proposed.id, true);
            showSample();
          }
          showSendList();
        }).catch(function (error) {
          sheetPreviews.push({ file: file, error: error.message });
          showSendList();
          showError(error.message);
        });
      });
    };
    if (document.getElementById('sheet-columns')) {
      on('answers', 'change', previewSheets);
      on('drop', 'drop', previewSheets);
      on('text-column', 'change', function () { showSample(); showSendList(); });
    }

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
            .then(function () { go('/jobs/' + job.id); });
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
          if (!document.body.contains(job)) return;  // another page is shown
          if (state.state === 'done') { reload(); return; }
          if (state.state !== 'idle') window.setTimeout(poll, 1000);
        }).catch(function (error) { showError(error.message); });
      };
      job.querySelectorAll('button[data-action]').forEach(function (button) {
        button.addEventListener('click', function () {
          var action = button.dataset.action;
          if (action === 'delete') {
            if (!window.confirm('このジョブと答案をすべて削除します。よろしいですか？')) return;
            api('DELETE', '/api/jobs/' + id).then(function () { go('/'); })
              .catch(function (error) { showError(error.message); });
            return;
          }
          api('POST', '/api/jobs/' + id + '/' + action).then(function (state) {
            update(state);
            document.getElementById('notice').textContent = state.message || '';
            if (action === 'start' && !state.message) poll();
          }).catch(function (error) { showError(error.message); });
        });
      });
      if (job.dataset.state === 'queued' || job.dataset.state === 'scoring') poll();
    }

    // The teacher's mark: the page says 保存しました only once the server has kept it.
    on('review', 'submit', function (e) {
      e.preventDefault();
      var form = e.target;
      var saved = document.getElementById('saved');
      saved.textContent = '';
      if (form.mark.validity.badInput) {
        saved.textContent = '保存していません: 点数は数で入力してください。';
        return;
      }
      var mark = form.mark.value === '' ? null : Number(form.mark.value);
      api('PUT', '/api/jobs/' + form.dataset.job + '/answers/' + form.dataset.number + '/review',
          { mark: mark, note: form.note.value })
        .then(function () { saved.textContent = '保存しました'; })
        .catch(function (error) { saved.textContent = '保存していません: ' + error.message; });
    });

    on('change-password', 'submit', function (e) {
      e.preventDefault();
      var form = e.target;
      var saved = document.getElementById('password-saved');
      saved.textContent = '';
      if (form.newPassword.value !== form.confirm.value) {
        showError('新しいパスワードが確認の欄と違います。同じものを入力してください。');
        return;
      }
      api('PUT', '/api/me/password', { oldPassword: form.oldPassword.value, newPassword: form.newPassword.value })
        .then(function () {
          document.getElementById('error').hidden = true;
          form.reset();
          saved.textContent = 'パスワードを変更しました';
        })
        .catch(function (error) { showError(error.message); });
    });
    document.querySelectorAll('form[data-set-password]').forEach(function (form) {
      form.addEventListener('submit', function (e) {
        e.preventDefault();
        var name = form.dataset.setPassword;
        api('PUT', '/api/users/' + encodeURIComponent(name) + '/password', { password: form.password.value })
          .then(function () {
            form.reset();
            form.querySelector('[role=status]').textContent = '設定しました';
          })
          .catch(function (error) { showError(error.message); });
      });
    });
    // The job's parameters, the agreement with the teacher's marks and the fit to them.
    var paramsForm = document.getElementById('params');
    if (paramsForm) {
      var jobId = paramsForm.dataset.id;
      var format = function (v, digits) { return v === null || v === undefined ? '—' : Number(v).toFixed(digits); };
      var fill = function (job) {
        var p = job.params || {};
        paramsForm.fullMark.value = job.fullMark;
        paramsForm.model.value = job.model;
        paramsForm.expectedLength.value = p.expectedLength;
        paramsForm.weights.value = p.rhetoricWeight + ':' + p.organizationWeight + ':' + p.contentWeight;
        paramsForm.paragraphMode.value = String(p.paragraphMode);
        paramsForm.querySelectorAll('.ratios input').forEach(function (input) {
          if (p[input.name] !== undefined) input.value = p[input.name];
        });
      };
      // Saves parameters (the form's, or a fit's) and shows the job being scored again.
      var applyParams = function (values, status) {
        status.textContent = '保存しています…';
        return api('PUT', '/api/jobs/' + jobId + '/params', values).then(function (state) {
          status.textContent = state.rescored === 'analysis' ? '保存しました。回答文を読み直して採点し直します。'
            : state.rescored === 'features' ? '保存しました。採点し直しました。' : '保存しました。';
          window.setTimeout(reload, 800);
        }).catch(function (error) { status.textContent = '保存していません: ' + error.message; });
      };
      api('GET', '/api/jobs/' + jobId).then(fill).catch(function (error) { showError(error.message); });
      paramsForm.addEventListener('submit', function (e) {
        e.preventDefault();
        var values = {};
        Array.prototype.forEach.call(paramsForm.elements, function (field) {
          if (field.name && field.value !== '') values[field.name] = field.value;
        });
        applyParams(values, document.getElementById('params-saved'));
      });

      var note = document.getElementById('agreement-note');
      api('GET', '/api/jobs/' + jobId + '/agreement').then(function (a) {
        document.getElementById('agreement-figures').hidden = false;
        note.textContent = 'Tavi の総合得点を満点 ' + a.fullMark + ' 点に換算して、あなたの点数と比べます。';
        document.getElementById('agreement-n').textContent = a.n + ' 件';
        document.getElementById('agreement-r').textContent = format(a.pearson, 2);
        document.getElementById('agreement-qwk').textContent = format(a.qwk, 2);
        document.getElementById('agreement-mad').textContent = format(a.meanAbsoluteDifference, 2);
        document.getElementById('agreement-scatter').innerHTML = a.scatterSvg;
        var list = document.getElementById('agreement-answers');
        a.answers.slice(0, 5).forEach(function (answer) {
          var item = document.createElement('li');
          var link = document.createElement('a');
          link.href = '/jobs/' + jobId + '/answers/' + answer.number;
          link.textContent = answer.name;
          item.appendChild(link);
          item.appendChild(document.createTextNode('　あなた ' + format(answer.mark, 1) + '、Tavi ' +
            format(answer.tavi, 1) + '（差 ' + format(answer.difference, 1) + '）'));
          list.appendChild(item);
        });
      }).catch(function (error) { note.textContent = error.message; });

      var fitForm = document.getElementById('fit');
      var suggested = null;
      if (fitForm) fitForm.addEventListener('submit', function (e) {
        e.preventDefault();
        var names = [];
        fitForm.querySelectorAll('input[name="fit"]:checked').forEach(function (box) { names.push(box.value); });
        var busy = document.getElementById('fit-busy');
        busy.textContent = '探しています…';
        api('POST', '/api/jobs/' + jobId + '/fit', { fit: names }).then(function (fit) {
          busy.textContent = '';
          suggested = fit.parameters;
          var rows = [['相関係数 r', 'pearson'], ['重み付きカッパ（QWK）', 'qwk'], ['平均の差（点）', 'meanAbsoluteDifference']];
          var body = document.querySelector('#fit-figures tbody');
          body.textContent = '';
          var row = function (table, cells) {
            var tr = document.createElement('tr');
            cells.forEach(function (text, k) {
              var cell = document.createElement(k === 0 ? 'th' : 'td');
              cell.textContent = text;
              tr.appendChild(cell);
            });
            table.appendChild(tr);
          };
          rows.forEach(function (r) { row(body, [r[0], format(fit.before[r[1]], 2), format(fit.after[r[1]], 2)]); });
          var params = document.querySelector('#fit-params tbody');
          params.textContent = '';
          if (suggested) {
            fitForm.querySelectorAll('input[name="fit"]:checked').forEach(function (box) {
              var name = box.value;
              var label = box.parentNode.textContent.trim();
              var weights = ['rhetoricWeight', 'organizationWeight', 'contentWeight'];
              var k = weights.indexOf(name);
              var before = k >= 0 ? fit.current.weights.split(':')[k] : fit.current[name];
              var after = k >= 0 ? suggested.weights.split(':')[k] : suggested[name];
              row(params, [label, format(before, 3), format(after, 3)]);
            });
          }
          document.getElementById('fit-message').textContent = fit.message ||
            '交差検証での一致が良くなりました。「この値を使う」で採点し直します。';
          document.getElementById('fit-apply').hidden = !suggested;
          document.getElementById('fit-result').hidden = false;
        }).catch(function (error) { busy.textContent = error.message; });
      });
      on('fit-apply', 'click', function () {
        if (suggested) applyParams(suggested, document.getElementById('fit-message'));
      });
    }

    // An answer's page prints as its feedback sheet, with the mark and note as they stand in
    // the form (saved or not).
    var review = document.getElementById('review');
    if (review) {
      window.addEventListener('beforeprint', function () {
        if (!document.body.contains(review)) return;  // another page is shown
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
        .then(function () { reload(); })
        .catch(function (error) { showError(error.message); });
    });
    document.querySelectorAll('button[data-remove-user]').forEach(function (button) {
      button.addEventListener('click', function () {
        var name = button.dataset.removeUser;
        if (!window.confirm(name + ' とそのジョブをすべて削除します。よろしいですか？')) return;
        api('DELETE', '/api/users/' + encodeURIComponent(name)).then(function () { reload(); })
          .catch(function (error) { showError(error.message); });
      });
    });
  }

  window.TaviPages = { bind: bind, showError: showError };
  if (!host) bind();
}());

// The browser app's engine (build/web/tavi-engine.mjs) under Node against the native tavi-score:
// node engine-test.mjs WEB_DIR TAVI_SCORE SAMPLES_DIR OFFICE_DIR OFFICE_TEXT
// Loads the dictionary and models from WEB_DIR as the page does, scores the samples and requires
// the results file's bytes and the JSON of tavi-score, before and after a change of weights.
// Reads the answers of the zips and sheets in OFFICE_DIR (tests/web/OfficeFixtures.cpp) as the
// server takes them, the Word documents' texts equal to the native reader's (OFFICE_TEXT).
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { isDeepStrictEqual } from 'node:util';

const [webDir, taviScore, samples, officeDir, officeText] = process.argv.slice(2);
const { createEngine, MODEL_FOLDER, bytesToBase64 } = await import(join(webDir, 'tavi-engine.mjs'));

let failures = 0;
function check(ok, what) {
    if (!ok) {
        failures += 1;
        console.error(`FAIL: ${what}`);
    }
}

async function loadedEngine() {
    const engine = await createEngine({ wasmBinary: readFileSync(join(webDir, 'tavi-engine-core.wasm')) });
    for (const file of JSON.parse(readFileSync(join(webDir, 'dict/files.json'))).files)
        engine.writeFile(file.path, readFileSync(join(webDir, 'dict', file.name)));
    for (const name of readdirSync(join(webDir, 'models')))
        engine.writeFile(MODEL_FOLDER + name, readFileSync(join(webDir, 'models', name)));
    return engine;
}

// The native program in a folder holding the question and answers, named as the engine names them.
const work = mkdtempSync(join(tmpdir(), 'tavi-engine-'));
const answerNames = readdirSync(join(samples, 'answers')).filter((n) => n.endsWith('.txt')).sort();
copyFileSync(join(samples, 'question.txt'), join(work, 'question.txt'));
for (const name of answerNames) copyFileSync(join(samples, 'answers', name), join(work, name));
const native = (...args) => execFileSync(taviScore, ['-q', 'question.txt', '-j1', ...args, ...answerNames], { cwd: work });

// tavi-score's path cells and members hold the absolute paths of the files; the engine, which has
// none, the names given: the native folder is taken out of them.
function named(csv) {
    const prefix = work + '/';
    return Buffer.from(csv.toString('latin1').split(prefix).join(''), 'latin1');
}
function namedJson(text) {
    const run = JSON.parse(text);
    run.question = run.question.replace(work + '/', '');
    for (const a of run.answers) a.path = a.path.replace(work + '/', '');
    return run;
}

// What the server adds to each answer of tavi-score's JSON: the review and the student.
function withoutReviews(text) {
    const run = JSON.parse(text);
    for (const a of run.answers) for (const member of ['mark', 'note', 'name', 'studentId']) delete a[member];
    return run;
}

const question = readFileSync(join(samples, 'question.txt'));
const engine = await loadedEngine();

// Before configuring: a refusal, not a crash.
check(/設問文/.test(engine.scoreAnswer({ name: 'a.txt', text: 'テスト' }).error ?? ''), 'scoring before configuring is refused');

const settings = [
    { params: {}, args: [] },
    { params: { model: 'syasetsu2000.tcf', paragraphMode: 1, expectedLength: '640' }, args: ['-m', 'syasetsu2000.tcf', '-p', '1', '-l', '640'] },
];
const timings = [];
for (const { params, args } of settings) {
    let started = performance.now();
    const configured = engine.configure({ questionBase64: bytesToBase64(question), questionName: 'question.txt', params });
    const configureMs = performance.now() - started;
    check(configured.ok === true, `configure ${JSON.stringify(params)}: ${JSON.stringify(configured)}`);
    started = performance.now();
    const answers = answerNames.map((name, i) => {
        const scored = engine.scoreAnswer({ name, textBase64: bytesToBase64(readFileSync(join(work, name))), number: i + 1 });
        check(!scored.error, `score ${name}: ${scored.error}`);
        check(scored.answer?.number === i + 1 && scored.answer?.name === name, `answer JSON of ${name} names it`);
        return { number: i + 1, name, record: scored.record };
    });
    timings.push({ params, configureMs, perAnswerMs: (performance.now() - started) / answers.length });

    const csv = engine.resultsCsv({ answers });
    check(Buffer.from(csv).equals(named(native('--format', 'csv', ...args))), `results CSV ${JSON.stringify(params)} equals tavi-score's`);
    check(isDeepStrictEqual(withoutReviews(engine.resultsJson({ answers })), namedJson(native('--format', 'json', ...args))),
        `results JSON ${JSON.stringify(params)} equals tavi-score's`);

    // New weights and an expected length: scored again from the stored records.
    const rescored = engine.rescore({ answers, params: { weights: '1:2:3', expectedLength: 500 } });
    check(Array.isArray(rescored.records) && rescored.records.length === answers.length, 'rescore gives every record');
    const again = answers.map((a, i) => ({ ...a, record: rescored.records[i] }));
    const otherArgs = args.filter((arg, i) => arg !== '-l' && args[i - 1] !== '-l');
    check(Buffer.from(engine.resultsCsv({ answers: again })).equals(named(native('--format', 'csv', ...otherArgs, '-w', '1:2:3', '-l', '500'))),
        `rescored CSV ${JSON.stringify(params)} equals tavi-score -w 1:2:3 -l 500`);
    check(rescored.params?.weights === '1:2:3' && rescored.params?.expectedLength === 500, 'rescore reports the new parameters');
    // The teacher's marks on eleven answers: the agreement over them, and a fit.
    const marked = answers.map((a, i) => ({ ...a, mark: i === 9 || i === 12 ? null : (i * 7) % 10 }));
    check(/件以上/.test(engine.agreement({ answers: marked.slice(0, 9) }).error ?? ''), 'agreement over too few marks is refused');
    const agreement = engine.agreement({ answers: marked, answerHref: '#' });
    check(agreement.n === 11 && agreement.answers?.length === 11 && agreement.scatterSvg?.includes('<svg'),
        `agreement over the marked answers: ${JSON.stringify(agreement).slice(0, 200)}`);
    const fit = engine.fit({ answers: marked, fit: ['rhetoricWeight', 'contentWeight'] });
    check(fit.before?.n === 11 && fit.current?.weights === rescored.params?.weights, `fit: ${JSON.stringify(fit).slice(0, 200)}`);
    check(/合わせられる/.test(engine.fit({ answers: marked, fit: ['nothing'] }).error ?? ''), 'fit of an unknown parameter is refused');
    // A change of paragraph mode cannot be made from the records.
    check(engine.rescore({ answers, params: { paragraphMode: params.paragraphMode ? 0 : 1 } }).scoreAgain === true,
        'a change of paragraph mode asks for scoring again');
    // A full mark below a teacher's mark, and a field that is no parameter, are refused; so are
    // marks outside the full mark, as the server refuses them.
    check(/満点を超えます/.test(engine.rescore({ answers: marked, params: { fullMark: 5 } }).error ?? ''),
        'a full mark below a mark is refused');
    check(/変えられるパラメータではありません/.test(engine.rescore({ answers, params: { colour: 'red' } }).error ?? ''),
        'an unknown parameter is refused');
    check(/範囲外/.test(engine.checkReview({ mark: 15, note: '', fullMark: 10 }).error ?? ''), 'a mark above the full mark is refused');
    check(isDeepStrictEqual(engine.checkReview({ mark: 7.5, note: 'よい', fullMark: 10 }), { mark: 7.5, note: 'よい' }),
        'a mark within the full mark is kept');
    // The job's parameter file gives back its parameters as the fields of a new job.
    const file = engine.parameterFile({ answers: again });
    const fields = engine.parameterFileFields({ base64: bytesToBase64(file) }).fields ?? {};
    check(fields.weights === '1:2:3' && Number(fields.expectedLength) === 500, `the parameter file's fields: ${JSON.stringify(fields)}`);
    check(/読めません/.test(engine.parameterFileFields({ base64: bytesToBase64(Buffer.from('not a file')) }).error ?? ''),
        'a damaged parameter file is refused');
}

// One answer in Shift_JIS and in UTF-8: the same scores, comments and evidence.
engine.configure({ question: new TextDecoder('shift_jis').decode(question), params: {} });
const sjis = readFileSync(join(work, 'a07_medium.txt'));
const fromSjis = engine.scoreAnswer({ name: 'a07_medium.txt', textBase64: bytesToBase64(sjis) });
const fromUtf8 = engine.scoreAnswer({ name: 'a07_medium.txt', text: new TextDecoder('shift_jis').decode(sjis) });
check(fromSjis.answer?.scores?.total > 0, 'the Shift_JIS answer is scored');
check(isDeepStrictEqual(fromSjis.answer, fromUtf8.answer), 'a Shift_JIS answer equals its UTF-8 form');
// Its pages: the evidence HTML names a comment's mark, the sheets and grades hold the answer.
const one = { answers: [{ number: 1, name: '山田', file: 'a07_medium.txt', record: fromSjis.record, mark: 7 }] };
check((engine.answerHtml(one) ?? '').includes('<'), 'the answer HTML is made');
check((engine.sheetsHtml({ ...one, title: '作文' }) ?? '').includes('山田'), 'the sheets name the student');
check(new TextDecoder().decode(engine.gradesCsv(one)).includes('山田'), 'the grades name the student');
check(engine.answer(one).answer?.evidence?.text !== undefined, 'the answer JSON carries its evidence');

// The teacher's pages as the server makes them: the job's with its summary once scored (a note
// while it is scored), an answer's with its evidence and the stored mark and note.
const count = (text, part) => (text ?? '').split(part).length - 1;
const pageAnswers = [
    { number: 1, name: '山田', file: 'a07_medium.txt', record: fromSjis.record, mark: 7.5, note: '段落を<分ける>' },
    { number: 2, name: '佐藤', file: 'a07_medium.txt', record: fromUtf8.record },
];
const pageJob = (state) => ({ id: 'j1', name: '一組<b>', state, answers: 2, scored: 2, failed: 0 });
const donePage = engine.page({ page: 'job', job: pageJob('done'), answers: pageAnswers });
check(donePage.title === '一組<b>' && count(donePage.body, '<h1>一組&lt;b&gt;</h1>') === 1 && count(donePage.body, '<b>') === 0,
    `the job page escapes its name: ${JSON.stringify(donePage).slice(0, 200)}`);
check(count(donePage.body, 'id="answers"') === 1 && count(donePage.body, '<a href="/jobs/j1/answers/2">佐藤</a>') === 1,
    'the job page holds the summary table once, linking the answers');
check(count(donePage.body, '<option selected>yoroku2000.tcf</option>') === 1, 'the job page shows the configured model');
const scoringPage = engine.page({ page: 'job', job: pageJob('scoring') });
check(count(scoringPage.body, 'id="answers"') === 0 && count(scoringPage.body, '採点が終わると') === 1,
    `a job being scored shows a note instead of the summary: ${JSON.stringify(scoringPage).slice(0, 200)}`);
const answerPage = engine.page({ page: 'answer', job: pageJob('done'), answers: [pageAnswers[0]], number: 1 });
check(answerPage.title === '山田' && count(answerPage.body, '<mark class=') > 0, 'the answer page holds the evidence');
check(count(answerPage.body, 'name="mark" type="number" step="any" min="0" max="10" value="7.5"') === 1 &&
    count(answerPage.body, '段落を&lt;分ける&gt;</textarea>') === 1, 'the mark form holds the stored mark and note');
check(count(answerPage.body, '前の答案') === 0 && count(answerPage.body, '<a href="/jobs/j1/answers/2">次の答案</a>') === 1,
    'the first answer links to the next only');
check(count(engine.page({ page: 'new', model: 'syasetsu2000.tcf' }).body, '<option selected>syasetsu2000.tcf</option>') === 1,
    'the new-job page chooses the model asked for');
check(count(engine.page({ page: 'jobs', jobs: [] }).body, 'ジョブはまだありません。') === 1, 'an empty list of jobs says so');
const errorPage = engine.page({ page: 'error', status: 404, message: '<i>ない</i>' });
check(errorPage.title === '見つかりません' && count(errorPage.body, '&lt;i&gt;ない&lt;/i&gt;') === 1, 'the error page escapes its message');

// Bad requests: Japanese refusals, and the engine goes on working.
const japanese = (reply) => typeof reply.error === 'string' && /[\u3040-\u30ff\u4e00-\u9fff]/.test(reply.error);
const refusals = {
    'bad weights': engine.configure({ question: '設問', params: { weights: 'a:b' } }),
    'length out of range': engine.configure({ question: '設問', params: { expectedLength: 0 } }),
    'unknown model': engine.configure({ question: '設問', params: { model: 'none.tcf' } }),
    'empty question': engine.configure({ question: '', params: {} }),
    'question with a NUL byte': engine.configure({ questionBase64: bytesToBase64(Buffer.from('設問\0')) }),
    'question of spaces': engine.configure({ question: ' \r\n　\r\n' }),
    'question neither UTF-8 nor Shift_JIS': engine.configure({ questionBase64: bytesToBase64(Buffer.from([0x82, 0xa0, 0xff, 0xfe])) }),
    'params not an object': engine.configure({ question: '設問', params: 'x' }),
    'broken record': engine.resultsCsv({ answers: [{ name: 'a', record: '@@@' }] }),
    'no answers': engine.resultsCsv({}),
    'unknown call': engine.call('nothing', {}),
    'not JSON': engine.call('configure', 'x'),
    'unknown page': engine.page({ page: 'nothing' }),
    'answer page without its job': engine.page({ page: 'answer', answers: [pageAnswers[0]] }),
    'answer past the last': engine.page({ page: 'answer', job: pageJob('done'), answers: [pageAnswers[0]], number: 3 }),
    'list of jobs missing': engine.page({ page: 'jobs' }),
    'new job with an unknown model': engine.page({ page: 'new', model: 'none.tcf' }),
};
for (const [what, reply] of Object.entries(refusals)) check(japanese(reply), `${what} is refused in Japanese: ${JSON.stringify(reply)}`);
check(engine.scoreAnswer({ name: 'a07_medium.txt', textBase64: bytesToBase64(sjis) }).answer?.scores?.total === fromSjis.answer.scores.total,
    'the refused configurations keep the one in use');

// Uploaded files read as the server reads a new job's: a zip, sheets with chosen columns, the
// sheet's preview, the grades workbook, and the refusals.
function checkUploads() {
    const file = (name, bytes) => ({ name, base64: bytesToBase64(bytes ?? readFileSync(join(officeDir, name))) });
    const textOf = (answer) => Buffer.from(answer.textBase64 ?? '', 'base64').toString('utf8');
    // The native reader's text of the Word document (after its "== path" line).
    const docxText = execFileSync(officeText, [join(officeDir, 'answer.docx')]).toString('utf8').replace(/^== [^\n]*\n/, '');
    const sample = readFileSync(join(samples, 'answers', 'a01_long_on_topic.txt'));

    // A zip of a text and a Word document, with a hidden file and a folder's companion left out.
    const zipped = engine.readAnswers({ files: [file('answers.zip')] });
    check(isDeepStrictEqual(zipped.answers?.map(({ name, file, source, studentId, sheetRow }) => [name, file, source, studentId, sheetRow]),
        [['a.txt', 'a.txt', 'answers.zip', '', 0], ['b.docx', 'b.docx', 'answers.zip', '', 0]]), `the zip's answers: ${JSON.stringify(zipped).slice(0, 300)}`);
    check(zipped.answers?.[0] && Buffer.from(zipped.answers[0].textBase64, 'base64').equals(sample), "the zip's text answer keeps its Shift_JIS bytes");
    check(zipped.answers?.[1] && docxText.length > 100 && textOf(zipped.answers[1]) === docxText, "the zip's Word document gives the native reader's text");
    // A text file and a Word document of their own, with the zip: numbered in the order sent.
    const several = engine.readAnswers({ files: [file('first.txt', sample), file('answer.docx'), file('answers.zip')] });
    check(isDeepStrictEqual(several.answers?.map((a) => a.source), ['first.txt', 'answer.docx', 'answers.zip', 'answers.zip']),
        `files of their own and a zip: ${JSON.stringify(several.answers?.map((a) => a.name))}`);

    // A Google Forms CSV with its columns chosen by header and by number: names, ids and rows;
    // the row without an answer left out.
    const form = engine.readAnswers({ files: [file('google-form.csv')], textColumn: '4', nameColumn: '氏名', idColumn: '出席番号' });
    check(isDeepStrictEqual(form.answers?.map(({ name, file, studentId, sheetRow }) => [name, file, studentId, sheetRow]), [
        ['青木 花子', '0002_青木 花子.txt', '3', 2], ['0003.txt', '0003.txt', '12', 3], ['千葉 太郎', '0005_千葉 太郎.txt', '21', 5]]),
        `the form's answers: ${JSON.stringify(form.answers?.map(({ textBase64, ...a }) => a))}`);
    check(form.answers?.[0] && textOf(form.answers[0]).startsWith('"環境"とは何か、まず考えたい。\n'), "a cell's quotes and line breaks are kept");
    // No name column: each answer is named by its file; the workbook gives the same rows.
    const unnamed = engine.readAnswers({ files: [file('ms-form.xlsx')], nameColumn: '', idColumn: '' });
    check(isDeepStrictEqual(unnamed.answers?.map(({ name, studentId }) => [name, studentId]), [['0002.txt', ''], ['0003.txt', ''], ['0005.txt', '']]),
        `the workbook without name and id columns: ${JSON.stringify(unnamed.answers?.map((a) => a.name))}`);
    const workbook = engine.readAnswers({ files: [file('ms-form.xlsx')] });
    check(isDeepStrictEqual(workbook.answers?.map(textOf), form.answers?.map(textOf)), 'the workbook and the CSV give the same answers');

    // The preview of a sheet's columns.
    const preview = engine.sheetColumns(file('ms-form.xlsx'));
    check(preview.columns?.length === 4 && preview.columns[2] === '氏名' && isDeepStrictEqual(preview.proposed, { text: 4, name: 3, id: 2 }) &&
        preview.rows === 4 && isDeepStrictEqual(preview.answers, [4, 4, 3, 3]) && preview.sample?.length === 3 &&
        preview.sample[0][3].endsWith('…'), `the sheet's preview: ${JSON.stringify(preview).slice(0, 300)}`);

    // The grades workbook, read back as a sheet: the grades CSV's header and names.
    check(engine.configure({ questionBase64: bytesToBase64(question), params: {} }).ok === true, 'configured for the grades');
    const scored = engine.scoreAnswer({ name: '青木 花子', file: '0002.txt', textBase64: form.answers[0].textBase64, studentId: '3' });
    const graded = { answers: [{ number: 1, name: '青木 花子', studentId: '3', record: scored.record, mark: 8 }] };
    const xlsx = engine.gradesXlsx(graded);
    check(xlsx instanceof Uint8Array && xlsx[0] === 0x50 && xlsx[1] === 0x4b, 'the grades workbook is a zip');
    const gradesSheet = engine.sheetColumns({ name: 'grades.xlsx', base64: bytesToBase64(xlsx) });
    const csvHeader = new TextDecoder().decode(engine.gradesCsv(graded)).replace(/^\ufeff/, '').split('\r\n')[0].split(',');
    check(isDeepStrictEqual(gradesSheet.columns, csvHeader) && gradesSheet.sample?.[0]?.[0] === '3' && gradesSheet.sample[0][1] === '青木 花子',
        `the grades workbook holds the grades: ${JSON.stringify(gradesSheet).slice(0, 300)}`);

    // Refusals, in Japanese and naming the file.
    const refused = {
        'a Word document cut off': [engine.readAnswers({ files: [file('cut.docx')] }), /cut\.docx.*Word 文書/],
        'a zip that is not one': [engine.readAnswers({ files: [file('broken.zip', Buffer.from('PK\x03\x04 broken'))] }), /broken\.zip: zip ファイルとして読めません/],
        'a workbook cut off': [engine.readAnswers({ files: [file('cut.xlsx')] }), /cut\.xlsx: Excel のブック/],
        'a workbook that unpacks too far': [engine.readAnswers({ files: [file('bomb.xlsx')] }), /bomb\.xlsx: 表が大きすぎます/],
        'a column that does not exist': [engine.readAnswers({ files: [file('google-form.csv')], textColumn: '感想' }), /列「感想」が見つかりません/],
        'a name given twice': [engine.readAnswers({ files: [file('a.txt', sample), file('answers.zip')] }), /「a\.txt」という名前の回答文が 2 つあります/],
        'a file of another kind': [engine.readAnswers({ files: [file('answers.pdf', sample)] }), /answers\.pdf: .*のどれでもありません/],
        'no files': [engine.readAnswers({ files: [] }), /回答文のファイルがありません/],
        'bad base64': [engine.readAnswers({ files: [{ name: 'a.txt', base64: '@@' }] }), /a\.txt: base64/],
        'a preview of a text file': [engine.sheetColumns(file('a.txt', sample)), /表（\.csv または \.xlsx）ではありません/],
    };
    for (const [what, [reply, pattern]] of Object.entries(refused))
        check(pattern.test(reply.error ?? '') && !reply.answers, `${what} is refused: ${JSON.stringify(reply).slice(0, 200)}`);
}
checkUploads();

rmSync(work, { recursive: true, force: true });
for (const t of timings)
    console.log(`configure ${JSON.stringify(t.params)}: ${t.configureMs.toFixed(0)} ms; per answer ${t.perAnswerMs.toFixed(0)} ms`);
if (failures) {
    console.error(`${failures} checks failed`);
    process.exit(1);
}
console.log('engine: all checks passed');

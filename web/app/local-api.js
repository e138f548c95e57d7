// The server's JSON API, answered in the browser: jobs and answers in the browser's storage,
// scoring and every rendering in the engine's Web Worker. Nothing is sent anywhere.
import { base64ToBytes, bytesToBase64 } from '../base64.mjs';
import { storage } from './storage.js';

// ---- The engine's worker: one request at a time, each for the job it is configured with.

const worker = new Worker(new URL('../worker.js', import.meta.url), { type: 'module' });
const pending = new Map();
let nextId = 1;
let loadingListener = () => {};

worker.onmessage = (event) => {
    const message = event.data;
    const waiting = pending.get(message.id);
    if (!waiting) return;
    if (message.type === 'loading') return loadingListener(message.loaded, message.total);
    if (message.type === 'progress') return;
    pending.delete(message.id);
    if (message.type === 'error') waiting.reject(Object.assign(new Error(message.error), { result: message.result }));
    else waiting.resolve(message.result);
};
worker.onerror = (event) => {
    const error = new Error(`採点エンジンを動かせません（${event.message ?? ''}）。ページを読み込み直してください。`);
    pending.forEach((waiting) => waiting.reject(error));
    pending.clear();
};

function post(type, request) {
    const id = nextId++;
    return new Promise((resolve, reject) => {
        pending.set(id, { resolve, reject });
        worker.postMessage({ id, type, ...request });
    });
}

let queue = Promise.resolve();
let configured = null;  // the job and parameters the engine holds

// Runs `work` once the engine holds `job`'s question and parameters (none for null), after the
// requests before it.
function withEngine(job, work) {
    const run = queue.then(async () => {
        const key = job && `${job.id} ${JSON.stringify(job.params)} ${job.fullMark}`;
        if (job && configured !== key) {
            configured = null;
            await post('configure', {
                questionBase64: bytesToBase64(job.question),
                questionName: job.questionName,
                params: job.params,
                fullMark: job.fullMark,
            });
            configured = key;
        }
        return work();
    });
    queue = run.catch(() => {});
    return run;
}

// Checks a question and parameters with the engine, which then holds them for no job; answers
// their stored form.
const configureAnew = (request) => withEngine(null, () => {
    configured = null;
    return post('configure', request);
});

export function onEngineLoading(listener) { loadingListener = listener; }

// ---- Bytes and text.

const fileBytes = async (file) => new Uint8Array(await file.arrayBuffer());

const refuse = (message) => { throw new Error(message); };

// ---- Jobs.

const newId = () => Array.from(crypto.getRandomValues(new Uint8Array(16)), (b) => b.toString(16).padStart(2, '0')).join('');
const now = () => Math.floor(Date.now() / 1000);
const stopping = new Set();
const running = new Set();

// Keeps on the job the parameters in the engine's form (the fields that set them, with the model
// and the full mark).
function keepParams(job, { fullMark, ...params }) {
    Object.assign(job, { params, fullMark, model: params.model });
}

// An answer as the engine's renderings take it.
const engineAnswer = (a) => ({
    number: a.number, name: a.name, file: a.file, source: a.source, studentId: a.studentId, sheetRow: a.sheetRow,
    record: a.record ?? '', failure: a.failure ?? '', mark: a.mark ?? null, note: a.note ?? '',
});

// The job as GET /api/jobs/ID gives it; params also as weights by axis, as the server's are.
function jobJson(job) {
    const [rhetoricWeight, organizationWeight, contentWeight] = String(job.params.weights).split(':').map(Number);
    return {
        id: job.id, name: job.name, state: job.state, paused: null, answers: job.answers, scored: job.scored,
        failed: job.failed, question: job.questionName, model: job.model, created: job.created,
        finished: job.finished ?? null, fullMark: job.fullMark,
        params: { ...job.params, rhetoricWeight, organizationWeight, contentWeight },
    };
}

async function ownJob(id) {
    return (await storage.job(id)) ?? refuse('このジョブはありません。削除されたか、別のブラウザーで作られました。');
}

// Scores the job's unscored answers one by one, keeping each result as it comes.
async function score(id) {
    if (running.has(id)) return;
    running.add(id);
    try {
        let job = await storage.job(id);
        if (!job) return;
        job.state = 'scoring';
        await storage.putJob(job);
        const answers = await storage.answers(id);
        for (const answer of answers) {
            if (answer.record || answer.failure) continue;
            if (stopping.delete(id)) {
                const stopped = await storage.job(id);
                if (stopped && stopped.state !== 'done') await storage.putJob({ ...stopped, state: 'idle' });
                return;
            }
            let result;
            try {
                result = await withEngine(job, () => post('score', { answers: [{ ...engineAnswer(answer), textBase64: answer.text }] }));
            } catch (error) {
                result = { results: [{ failure: error.message }] };
            }
            const r = result.results[0] ?? { failure: '採点できませんでした。' };
            answer.record = r.record ?? null;
            answer.failure = r.failure ?? '';
            job = (await storage.job(id)) ?? null;
            if (!job) return;  // deleted meanwhile
            if (answer.record) job.scored += 1;
            else job.failed += 1;
            await storage.putJobWithAnswers(job, [answer]);
        }
        job = await storage.job(id);
        if (!job) return;
        job.state = 'done';
        job.finished = now();
        await storage.putJob(job);
    } finally {
        running.delete(id);
        stopping.delete(id);
    }
}

// Jobs left queued or being scored when the page was closed go on.
export async function resumeJobs() {
    for (const job of await storage.jobs())
        if (job.state === 'queued' || job.state === 'scoring') score(job.id);
}

// The answers of the chosen files, as the server reads an upload (the engine does it).
async function answersOfFiles(files, data) {
    const request = {
        files: await Promise.all(files.map(async (f) => ({ name: f.name, base64: bytesToBase64(await fileBytes(f)) }))),
    };
    for (const field of ['textColumn', 'nameColumn', 'idColumn']) if (data.has(field)) request[field] = data.get(field);
    return (await withEngine(null, () => post('readAnswers', request))).answers;
}

async function createJob(data) {
    const field = (name) => (typeof data.get(name) === 'string' ? data.get(name) : '');
    const chosen = (name) => data.getAll(name).filter((f) => typeof f === 'object' && f.size > 0);
    const [questionFile] = chosen('question');
    let questionName = questionFile?.name ?? '';
    let question = questionFile ? await fileBytes(questionFile) : null;
    if (!question && field('questionText')) {
        questionName = 'question.txt';
        question = new TextEncoder().encode(field('questionText'));
    }
    if (!question) refuse('設問文がありません。設問文のファイルを選ぶか、設問文を入力してください。');
    const files = chosen('answers');
    if (!files.length) refuse('回答文のファイルがありません。回答文のファイルを選んでください。');
    const answers = await answersOfFiles(files, data);
    if (!answers.length) refuse('回答文: 送られたファイルに回答文がありません。');
    const params = {};
    for (const [name, value] of data.entries())
        if (typeof value === 'string' && value !== '' && !['name', 'questionText', 'textColumn', 'nameColumn', 'idColumn'].includes(name))
            params[name] = value;
    const [paramFile] = chosen('params');
    if (paramFile) {
        const base64 = bytesToBase64(await fileBytes(paramFile));
        const fromFile = await withEngine(null, () => post('parameterFileFields', { base64 }));
        Object.assign(params, fromFile.fields);
    }
    const fullMark = params.fullMark ?? '10';
    delete params.fullMark;
    const job = {
        id: newId(), name: field('name') || questionName, created: now(), state: 'idle', questionName, question,
        params, fullMark: Number(fullMark), answers: answers.length, scored: 0, failed: 0,
    };
    if (job.name.length > 66) refuse('ジョブ名が長すぎます。66 字までの名前にしてください。');
    // The engine checks the question and the parameters, and gives them in their stored form.
    const configuredForm = await configureAnew({ questionBase64: bytesToBase64(question), questionName, params, fullMark });
    keepParams(job, configuredForm.params);
    const rows = answers.map((a, i) => ({
        job: job.id, number: i + 1, name: a.name, file: a.file, source: a.source, studentId: a.studentId ?? '',
        sheetRow: a.sheetRow ?? 0, text: a.textBase64, record: null, failure: '', mark: null, note: '',
    }));
    await storage.putJobWithAnswers(job, rows);
    navigator.storage?.persist?.().catch(() => {});  // kept until the teacher deletes it
    return { id: job.id };
}

async function start(id) {
    const job = await ownJob(id);
    const answers = await storage.answers(id);
    const failed = answers.filter((a) => a.failure && !a.record);
    if (!failed.length && job.scored === job.answers) return { ...jobJson(job), message: '採点済みです。パラメータを変えると採点し直します。' };
    failed.forEach((a) => { a.failure = ''; });  // answers that failed are tried again
    job.failed = 0;
    job.state = 'queued';
    await storage.putJobWithAnswers(job, failed);
    score(id);
    return jobJson(job);
}

async function stop(id) {
    const job = await ownJob(id);
    if (running.has(id)) stopping.add(id);
    if (job.state !== 'done') job.state = 'idle';
    await storage.putJob(job);
    return jobJson(job);
}

async function review(id, number, body) {
    const job = await ownJob(id);
    const answer = (await storage.answer(id, number)) ?? refuse(`回答文 ${number} はありません。`);
    const checked = await withEngine(null, () => post('checkReview', { ...body, fullMark: job.fullMark }));
    answer.mark = checked.mark;
    answer.note = checked.note;
    await storage.putJobWithAnswers(job, [answer]);
    return {};
}

// New parameters: the scored answers scored again from their features, or (the paragraph mode or
// the content model changed) analysed again. The engine checks them as the server does.
async function changeParams(id, values) {
    const job = await ownJob(id);
    if (running.has(id)) refuse('採点中はパラメータを変えられません。採点を停止するか、終わるのを待ってください。');
    const answers = await storage.answers(id);
    const reply = await withEngine(job, () => {
        configured = null;  // the engine takes the new parameters
        return post('rescore', { params: values ?? {}, answers: answers.map(engineAnswer) });
    }).catch((error) => {
        if (error.result?.scoreAgain) return error.result;
        throw error;
    });
    if (reply.scoreAgain) {
        const { fullMark, ...params } = reply.params;
        const checked = await configureAnew({
            questionBase64: bytesToBase64(job.question), questionName: job.questionName, params, fullMark,
        });
        keepParams(job, checked.params);
        Object.assign(job, { scored: 0, failed: 0, state: 'queued' });
        answers.forEach((a) => { a.record = null; a.failure = ''; });
        await storage.putJobWithAnswers(job, answers);
        score(id);
        return { ...jobJson(job), rescored: 'analysis' };
    }
    keepParams(job, reply.params);
    reply.records.forEach((record, i) => { answers[i].record = record; });
    await storage.putJobWithAnswers(job, answers);
    return { ...jobJson(job), rescored: 'features' };
}

// What the engine renders of a whole job.
async function render(id, type, extra = {}) {
    const job = await ownJob(id);
    const answers = (await storage.answers(id)).map(engineAnswer);
    return { job, result: await withEngine(job, () => post(type, { answers, fullMark: job.fullMark, ...extra })) };
}

// The downloads of a job: {bytes or text, type}.
const downloads = {
    'results.csv': ['resultsCsv', 'text/csv'],
    'results.json': ['resultsJson', 'application/json'],
    'report.html': ['reportHtml', 'text/html'],
    'sheets.html': ['sheetsHtml', 'text/html'],
    'params.tvp': ['parameterFile', 'text/plain'],
    'grades.csv': ['gradesCsv', 'text/csv'],
    'grades.xlsx': ['gradesXlsx', 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet'],
};

export async function download(path) {
    const match = /^\/api\/jobs\/([0-9a-f]{32})\/([a-z.]+)$/.exec(path.replace(/#.*$/, ''));
    const what = match && downloads[match[2]];
    if (!what) refuse('そのファイルはありません。');
    const id = match[1];
    const job = await ownJob(id);
    const { result } = await render(id, what[0], what[0] === 'sheetsHtml' ? { title: job.name } : {});
    // The engine gives bytes (a Uint8Array) or text.
    return { body: result, type: what[1], name: match[2] };
}

// ---- Pages: the bodies the server would send, from the engine.

export async function page(path) {
    let m;
    if (path === '/' || path === '') {
        const jobs = (await storage.jobs()).sort((a, b) => b.created - a.created);
        return withEngine(null, () => post('page', { page: 'jobs', jobs: jobs.map(jobJson) }));
    }
    if (path === '/new') return withEngine(null, () => post('page', { page: 'new' }));
    if ((m = /^\/jobs\/([0-9a-f]{32})$/.exec(path))) {
        const job = await storage.job(m[1]);
        if (!job) return notFound('このジョブはありません。');
        const answers = (await storage.answers(job.id)).map(engineAnswer);
        return withEngine(job, () => post('page', {
            page: 'job', job: jobJson(job), answers, fullMark: job.fullMark, answerHref: `/jobs/${job.id}/answers/`,
        }));
    }
    if ((m = /^\/jobs\/([0-9a-f]{32})\/answers\/([0-9]{1,5})$/.exec(path))) {
        const job = await storage.job(m[1]);
        if (!job) return notFound('このジョブはありません。');
        const number = Number(m[2]);
        const answer = await storage.answer(job.id, number);
        if (!answer) return notFound(`回答文 ${number} はありません。このジョブの回答文は ${job.answers} 件です。`, `/jobs/${job.id}`);
        return withEngine(job, () => post('page', {
            page: 'answer', job: jobJson(job), answers: [engineAnswer(answer)], number, fullMark: job.fullMark,
        }));
    }
    return notFound('そのページはありません。');
}

const notFound = (message, backHref = '/') => withEngine(null, () => post('page', {
    page: 'error', status: 404, message, backHref, backText: backHref === '/' ? 'ジョブ一覧へ戻る' : 'ジョブのページへ戻る',
}));

// ---- Saving a job to a file and opening it again.

const JOB_FILE = 'tavi-job';

export async function jobFile(id) {
    const job = await ownJob(id);
    const answers = await storage.answers(id);
    const { question, ...rest } = job;
    return JSON.stringify({ format: JOB_FILE, version: 1, job: { ...rest, question: bytesToBase64(question) }, answers });
}

export async function openJobFile(fileText) {
    let saved;
    try {
        saved = JSON.parse(fileText);
    } catch {
        refuse('ジョブのファイルとして読めません（壊れているか、別の種類のファイルです）。');
    }
    if (saved?.format !== JOB_FILE || saved.version !== 1 || typeof saved.job !== 'object' || !Array.isArray(saved.answers))
        refuse('Tavi のジョブのファイルではありません。「ファイルに保存」で保存したファイルを選んでください。');
    // Only the members a job has are taken, each of its kind; anything else is a damaged file.
    const broken = (what) => refuse(`ジョブのファイルが壊れています（${what}）。保存し直したファイルを選んでください。`);
    const text = (v) => (typeof v === 'string' ? v : null);
    const saving = saved.job;
    if (!text(saving.name) || !text(saving.question)) broken('ジョブ名か設問文がありません');
    if (typeof saving.params !== 'object' || !saving.params) broken('パラメータがありません');
    let question;
    try {
        question = base64ToBytes(saving.question);
    } catch {
        broken('設問文');
    }
    const id = newId();
    const answers = saved.answers.map((a, i) => {
        const what = `回答文 ${i + 1}`;
        if (!a || !text(a.name) || !text(a.text)) broken(what);
        if ((a.record ?? null) !== null && !text(a.record)) broken(what);
        if ((a.mark ?? null) !== null && !Number.isFinite(a.mark)) broken(what);
        return {
            job: id, number: i + 1, name: a.name, file: text(a.file) ?? a.name, source: text(a.source) ?? a.name,
            studentId: text(a.studentId) ?? '', sheetRow: Number.isInteger(a.sheetRow) ? a.sheetRow : 0, text: a.text,
            record: a.record ?? null, failure: text(a.failure) ?? '', mark: a.mark ?? null, note: text(a.note) ?? '',
        };
    });
    if (!answers.length) broken('回答文がありません');
    const job = {
        id, name: saving.name, created: Number.isFinite(saving.created) ? saving.created : now(),
        // A job saved while it was scored opens stopped.
        state: saving.state === 'done' ? 'done' : 'idle', questionName: text(saving.questionName) ?? 'question.txt',
        question, params: saving.params, model: text(saving.model) ?? '', fullMark: Number(saving.fullMark),
        answers: answers.length, scored: answers.filter((a) => a.record).length,
        failed: answers.filter((a) => !a.record && a.failure).length,
        finished: Number.isFinite(saving.finished) ? saving.finished : null,
    };
    // The engine checks the question, the parameters and the records before the job is kept.
    await withEngine(job, () => post('answers', { answers: answers.map(engineAnswer), fullMark: job.fullMark }));
    await storage.putJobWithAnswers(job, answers);
    return { id };
}

// ---- The API's routes, as tavi-serve has them.

export async function api(method, url, body) {
    let m;
    if (method === 'GET' && url === '/api/jobs') return (await storage.jobs()).map(jobJson);
    if (method === 'POST' && url === '/api/jobs') return await createJob(body);
    if (method === 'POST' && url === '/api/sheets/columns') {
        const file = body.get('sheet');
        const base64 = bytesToBase64(await fileBytes(file));
        return await withEngine(null, () => post('sheetColumns', { name: file.name, base64 }));
    }
    if ((m = /^\/api\/jobs\/([0-9a-f]{32})(\/.*)?$/.exec(url))) {
        const [, id, rest = ''] = m;
        if (method === 'GET' && rest === '') return jobJson(await ownJob(id));
        if (method === 'DELETE' && rest === '') {
            if (running.has(id)) stopping.add(id);
            await storage.deleteJob(id);
            return {};
        }
        if (method === 'POST' && rest === '/start') return await start(id);
        if (method === 'POST' && rest === '/stop') return await stop(id);
        if (method === 'PUT' && rest === '/params') return await changeParams(id, body);
        if (method === 'GET' && rest === '/agreement')
            return (await render(id, 'agreement', { answerHref: `/jobs/${id}/answers/` })).result;
        if (method === 'POST' && rest === '/fit') return (await render(id, 'fit', { fit: body?.fit ?? null })).result;
        if (method === 'GET' && rest === '/answers')
            return (await render(id, 'answers')).result.answers;
        if ((m = /^\/answers\/([0-9]{1,5})\/review$/.exec(rest)) && method === 'PUT')
            return await review(id, Number(m[1]), body ?? {});
    }
    throw new Error('この版にはない操作です。');
}

// The browser app's scoring worker (build/web/worker.js) driven as a page drives it, in a Node
// worker thread whose fetch() reads the files of WEB_DIR:
// node worker-test.mjs WEB_DIR TAVI_SCORE SAMPLES_DIR
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { Worker } from 'node:worker_threads';

const [webDir, taviScore, samples] = process.argv.slice(2);

// The browser's side of a worker: self.postMessage and self.onmessage, fetch() of the app's files.
const shim = `
const { parentPort, workerData } = require('node:worker_threads');
const { readFile } = require('node:fs/promises');
const { fileURLToPath } = require('node:url');
globalThis.fetch = async (url) => {
    try { return new Response(await readFile(fileURLToPath(url))); }
    catch { return new Response(null, { status: 404 }); }
};
const scope = { postMessage: (message) => parentPort.postMessage(message) };
const queued = [];
parentPort.on('message', (data) => (scope.onmessage ? scope.onmessage({ data }) : queued.push(data)));
import(workerData.worker).then((m) => { m.listen(scope); for (const data of queued) scope.onmessage({ data }); });
`;
const worker = new Worker(shim, { eval: true, workerData: { worker: pathToFileURL(join(webDir, 'worker.js')).href } });

let failures = 0;
function check(ok, what) {
    if (!ok) {
        failures += 1;
        console.error(`FAIL: ${what}`);
    }
}

// Sends a request; resolves with its final message and the ones before it.
let nextId = 1;
function send(type, request = {}) {
    const id = nextId++;
    const seen = [];
    return new Promise((resolve) => {
        const onMessage = (message) => {
            if (message.id !== id) return;
            seen.push(message);
            if (message.type === 'result' || message.type === 'error') {
                worker.off('message', onMessage);
                resolve({ last: message, seen });
            }
        };
        worker.on('message', onMessage);
        worker.postMessage({ id, type, ...request });
    });
}

const timer = setTimeout(() => {
    console.error('FAIL: the worker did not answer within 300 s');
    process.exit(1);
}, 300_000);

const question = readFileSync(join(samples, 'question.txt'));
const names = ['a01_long_on_topic.txt', 'a05_connectives.txt', 'a13_utf8.txt'];

let reply = await send('configure', { question: '', params: {} });
check(reply.last.type === 'error' && /設問文/.test(reply.last.error), 'an empty question is refused');
const loading = reply.seen.filter((m) => m.type === 'loading');
check(loading.length > 0 && loading.at(-1).loaded === loading.at(-1).total, 'the dictionary loads with its progress');

reply = await send('configure', { params: { model: 'missing.tcf' }, question: '設問' });
check(reply.last.type === 'error' && /内容モデル/.test(reply.last.error), 'a missing model is refused');

reply = await send('configure', { questionBase64: question.toString('base64'), questionName: 'question.txt', params: {} });
check(reply.last.type === 'result' && reply.last.result.ok, `configure: ${JSON.stringify(reply.last)}`);
check(!reply.seen.some((m) => m.type === 'loading'), 'the dictionary is loaded once');

const answers = names.map((name) => ({ name, textBase64: readFileSync(join(samples, 'answers', name)).toString('base64') }));
reply = await send('score', { answers });
const progress = reply.seen.filter((m) => m.type === 'progress');
check(progress.map((m) => m.done).join() === '1,2,3' && progress.every((m) => m.total === 3), 'one progress message per answer');
const results = reply.last.result?.results ?? [];
check(results.length === 3 && results.every((r) => r.record), 'every answer scored');

// The downloads from the stored records, as the page asks for them.
const stored = results.map((r, i) => ({ number: i + 1, name: names[i], record: r.record }));
reply = await send('resultsCsv', { answers: stored });
const expected = execFileSync(taviScore, ['-q', join(samples, 'question.txt'), '-j1', '--format', 'csv',
    ...names.map((n) => join(samples, 'answers', n))]);
const withoutFolder = Buffer.from(expected.toString('latin1').split(join(samples, 'answers') + '/').join(''), 'latin1');
check(reply.last.result instanceof Uint8Array && Buffer.from(reply.last.result).equals(withoutFolder),
    'the results file equals tavi-score\'s');

// A page's body through the worker, as the app asks for it.
reply = await send('page', { page: 'job', job: { id: 'j1', name: '一組', state: 'done', answers: 3, scored: 3 }, answers: stored });
check(reply.last.type === 'result' && reply.last.result.title === '一組' &&
    reply.last.result.body?.includes('<a href="/jobs/j1/answers/3">a13_utf8.txt</a>'), 'the job page reaches the engine');
// Uploaded files read in the worker, and the grades workbook: passed through by name.
reply = await send('readAnswers', { files: answers.map(({ name, textBase64 }) => ({ name, base64: textBase64 })) });
check(reply.last.type === 'result' && reply.last.result.answers?.map((a) => a.file).join() === names.join() &&
    reply.last.result.answers[0].textBase64 === answers[0].textBase64, `readAnswers: ${JSON.stringify(reply.last).slice(0, 200)}`);
reply = await send('gradesXlsx', { answers: stored });
check(reply.last.result instanceof Uint8Array && reply.last.result[0] === 0x50, 'the grades workbook arrives as bytes');

reply = await send('nothing');
check(reply.last.type === 'error' && /処理/.test(reply.last.error), 'an unknown request is refused');

clearTimeout(timer);
await worker.terminate();
if (failures) {
    console.error(`${failures} checks failed`);
    process.exit(1);
}
console.log('worker: all checks passed');

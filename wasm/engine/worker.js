// The browser app's scoring worker (a module worker: new Worker('worker.js', {type: 'module'})).
// It loads the engine, the dictionary (dict/files.json) and the chosen model once, keeping the
// files in the Cache API so that a second visit and an offline one read them from the device.
//
// Messages in: {id, type, ...request}; type is 'configure', 'score', 'cancel', 'rescore' or one
// of the engine's renderings ('resultsCsv', 'resultsJson', 'reportHtml', 'summaryHtml',
// 'answers', 'answer', 'answerHtml', 'answerSheetHtml', 'sheetsHtml', 'gradesCsv', 'gradesXlsx',
// 'parameterFile', 'page') or of its readers of uploaded files ('readAnswers', 'sheetColumns').
// Messages out: {id, type: 'loading', loaded, total} while files arrive,
// {id, type: 'progress', done, total, result} after each scored answer, then
// {id, type: 'result', result} or {id, type: 'error', error} (Japanese).
// The engine is imported when first needed, not at the top: its module waits for its loader, and
// a worker that is still evaluating drops the messages that arrive meanwhile.

const base = new URL('./', import.meta.url);
const cacheName = 'tavi-engine-files-1';
const defaultModel = 'yoroku2000.tcf';

// A file of the app's as bytes, from the cache when it holds it.
async function fetchBytes(path) {
    const url = new URL(path, base);
    const cache = typeof caches === 'object' ? await caches.open(cacheName).catch(() => null) : null;
    let response = cache ? await cache.match(url) : undefined;
    if (!response) {
        response = await fetch(url);
        if (!response.ok) throw new Error(`${path}: ${response.status}`);
        if (cache) await cache.put(url, response.clone()).catch(() => {});
    }
    return new Uint8Array(await response.arrayBuffer());
}

let enginePromise = null;
const modelsWritten = new Set();

function loadEngine(report) {
    enginePromise ??= (async () => {
        const manifest = JSON.parse(new TextDecoder().decode(await fetchBytes('dict/files.json')));
        const total = manifest.files.reduce((sum, f) => sum + f.size, 0);
        const [wasmBinary, ...files] = await Promise.all([
            fetchBytes('tavi-engine-core.wasm'),
            ...manifest.files.map(async (f) => {
                const bytes = await fetchBytes(`dict/${f.name}`);
                report(f.size, total);
                return bytes;
            }),
        ]);
        const { createEngine, MODEL_FOLDER } = await import('./tavi-engine.mjs');
        const engine = await createEngine({ wasmBinary, printErr: (text) => console.warn(text) });
        engine.modelFolder = MODEL_FOLDER;
        manifest.files.forEach((f, i) => engine.writeFile(f.path, files[i]));
        return engine;
    })();
    enginePromise.catch(() => { enginePromise = null; });  // a failed load is tried again
    return enginePromise;
}

// The model's three files (settings, dictionary, matrix), written once.
async function loadModel(engine, model) {
    if (modelsWritten.has(model)) return;
    if (!/^[A-Za-z0-9_-]+\.tcf$/.test(model)) return;  // the engine refuses it by name
    const stem = model.slice(0, -4);
    const parts = await Promise.all(['tcf', 'dic', 'siv'].map((ext) => fetchBytes(`models/${stem}.${ext}`)));
    ['tcf', 'dic', 'siv'].forEach((ext, i) => engine.writeFile(`${engine.modelFolder}${stem}.${ext}`, parts[i]));
    modelsWritten.add(model);
}

const cancelled = new Set();
const yieldToMessages = () => new Promise((resolve) => setTimeout(resolve, 0));

async function handle(id, type, request, post) {
    let loaded = 0;
    const engine = await loadEngine((size, total) => {
        loaded += size;
        post({ id, type: 'loading', loaded, total });
    });
    if (type === 'configure') {
        const model = request.params?.model || defaultModel;
        try {
            await loadModel(engine, model);
        } catch (e) {
            return { error: `内容モデル: 「${model}」のファイルを読み込めません（${e.message}）。` };
        }
        return engine.configure(request);
    }
    if (type === 'score') {
        const answers = request.answers ?? [];
        const results = [];
        for (const [i, answer] of answers.entries()) {
            if (cancelled.delete(id)) return { cancelled: true, results };
            const result = engine.scoreAnswer({ number: i + 1, ...answer });
            results.push(result);
            post({ id, type: 'progress', done: i + 1, total: answers.length, result });
            await yieldToMessages();  // lets a 'cancel' in
        }
        return { results };
    }
    if (type === 'rescore') return engine.rescore(request);
    const render = engine[type];
    if (typeof render !== 'function' || ['call', 'writeFile', 'hasFile', 'configure', 'scoreAnswer'].includes(type))
        return { error: `「${type}」という処理はありません。` };
    return render(request);
}

export function listen(scope) {
    scope.onmessage = async (event) => {
        const { id, type, ...request } = event.data ?? {};
        const post = (message) => scope.postMessage(message);
        if (type === 'cancel') {
            cancelled.add(request.target);
            return;
        }
        try {
            const result = await handle(id, type, request, post);
            if (result?.error) post({ id, type: 'error', error: result.error, result });
            else post({ id, type: 'result', result });
        } catch (e) {
            post({ id, type: 'error', error: `採点エンジンを読み込めません（${e.message}）。ページを読み込み直してください。` });
        }
    };
}

if (typeof self === 'object' && typeof self.postMessage === 'function') listen(self);

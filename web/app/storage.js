// The browser app's jobs and answers, kept in the browser's own storage (IndexedDB) until the
// teacher deletes them. A job: {id, name, created, state, questionName, question (bytes), params
// (the fields that set them), model, fullMark, answers, scored, failed, finished}. An answer:
// {job, number, name, file, source, studentId, sheetRow, text (base64), record (base64 or null),
// failure, mark, note}.

const NAME = 'tavi-app';
const VERSION = 1;
let opened = null;

function request(req) {
    return new Promise((resolve, reject) => {
        req.onsuccess = () => resolve(req.result);
        req.onerror = () => reject(req.error);
    });
}

function database() {
    opened ??= new Promise((resolve, reject) => {
        const req = indexedDB.open(NAME, VERSION);
        req.onupgradeneeded = () => {
            const db = req.result;
            db.createObjectStore('jobs', { keyPath: 'id' });
            db.createObjectStore('answers', { keyPath: ['job', 'number'] });
        };
        req.onsuccess = () => resolve(req.result);
        req.onerror = () => reject(new Error(`ブラウザーの保存領域を開けません（${req.error?.message ?? ''}）。`));
        req.onblocked = () => reject(new Error('ほかのタブで古い版の Tavi が開いています。閉じてから読み込み直してください。'));
    });
    opened.catch(() => { opened = null; });
    return opened;
}

// Runs `work(stores)` in one transaction over the named stores; resolves once it is written.
async function transact(names, mode, work) {
    const db = await database();
    const tx = db.transaction(names, mode);
    const stores = Object.fromEntries(names.map((n) => [n, tx.objectStore(n)]));
    const result = await work(stores);
    await new Promise((resolve, reject) => {
        tx.oncomplete = resolve;
        tx.onerror = () => reject(tx.error);
        tx.onabort = () => reject(tx.error ?? new Error('保存できませんでした（保存領域が足りない可能性があります）。'));
    });
    return result;
}

const answersOf = (id) => IDBKeyRange.bound([id, 0], [id, Number.MAX_SAFE_INTEGER]);

export const storage = {
    jobs: () => transact(['jobs'], 'readonly', (s) => request(s.jobs.getAll())),
    job: (id) => transact(['jobs'], 'readonly', (s) => request(s.jobs.get(id))),
    answers: (id) => transact(['answers'], 'readonly', (s) => request(s.answers.getAll(answersOf(id)))),
    answer: (id, number) => transact(['answers'], 'readonly', (s) => request(s.answers.get([id, number]))),
    putJob: (job) => transact(['jobs'], 'readwrite', (s) => request(s.jobs.put(job))),
    // A job with its answers, written together or not at all.
    putJobWithAnswers: (job, answers) =>
        transact(['jobs', 'answers'], 'readwrite', (s) => {
            s.jobs.put(job);
            answers.forEach((a) => s.answers.put(a));
        }),
    deleteJob: (id) =>
        transact(['jobs', 'answers'], 'readwrite', (s) => {
            s.jobs.delete(id);
            s.answers.delete(answersOf(id));
        }),
};

// The scoring engine of the browser app, for a Web Worker (a module worker) and for Node.
// Its files live in memory: the caller writes the dictionary (dict/files.json lists them) and
// the chosen model (under MODEL_FOLDER) before it configures.
//
//   const engine = await createEngine({ wasmBinary });
//   engine.writeFile(path, bytes) ...
//   engine.configure({ question, questionName, params: { model, expectedLength, weights, ... } })
//   engine.scoreAnswer({ name, text | textBase64, number })  -> { record, failure, answer }
//   engine.rescore({ answers: [{ record }], params })          -> { records, params }
//   engine.resultsCsv({ answers }) -> Uint8Array, engine.resultsJson({ answers }) -> string, ...
//   engine.page({ page: 'jobs' | 'new' | 'job' | 'answer' | 'error', ... }) -> { title, body }
//   engine.readAnswers({ files: [{ name, base64 }], textColumn, nameColumn, idColumn })
//       -> { answers: [{ name, file, source, studentId, sheetRow, textBase64 }] }
//   engine.sheetColumns({ name, base64 }) -> { columns, proposed, rows, answers, sample }
//
// Every call answers an object; a refusal is { error } in Japanese, never an exception.

import { base64ToBytes } from './base64.mjs';

export { base64ToBytes, bytesToBase64 } from './base64.mjs';

const isNode = typeof process === 'object' && Boolean(process.versions?.node);
if (isNode) {
    // emscripten's loader, in an ES module, still looks for require and __dirname under Node.
    const { createRequire } = await import('node:module');
    const { fileURLToPath } = await import('node:url');
    globalThis.require ??= createRequire(import.meta.url);
    globalThis.__dirname ??= fileURLToPath(new URL('.', import.meta.url));
}
const { default: createCore } = await import('./tavi-engine-core.mjs');

// Where the engine looks for the built-in models.
export const MODEL_FOLDER = '/models/';

export async function createEngine({ wasmBinary, print = () => {}, printErr = () => {} } = {}) {
    const core = await createCore({
        wasmBinary,
        print,
        printErr,
        preRun: [(module) => { module.ENV.TAVI_MODEL_FOLDER = MODEL_FOLDER; }],
    });
    const cString = (text) => {
        const size = core.lengthBytesUTF8(text) + 1;
        const pointer = core._malloc(size);
        core.stringToUTF8(text, pointer, size);
        return pointer;
    };
    const call = (what, request) => {
        const whatPointer = cString(what);
        const requestPointer = cString(JSON.stringify(request ?? {}));
        try {
            return JSON.parse(core.UTF8ToString(core._tavi_call(whatPointer, requestPointer)));
        } finally {
            core._free(whatPointer);
            core._free(requestPointer);
        }
    };
    // The calls whose reply carries bytes give them as a Uint8Array (or the refusal).
    const bytesOf = (reply) => (reply.error ? reply : base64ToBytes(reply.base64));
    const textOf = (member) => (reply) => (reply.error ? reply : reply[member]);
    return {
        call,
        writeFile(path, bytes) {
            const folder = path.slice(0, path.lastIndexOf('/'));
            if (folder) core.FS.mkdirTree(folder);
            core.FS.writeFile(path, bytes);
        },
        hasFile(path) {
            return core.FS.analyzePath(path).exists;
        },
        configure: (request) => call('configure', request),
        scoreAnswer: (request) => call('scoreAnswer', request),
        rescore: (request) => call('rescore', request),
        answers: (request) => call('answers', request),
        answer: (request) => call('answer', request),
        resultsCsv: (request) => bytesOf(call('resultsCsv', request)),
        resultsJson: (request) => textOf('text')(call('resultsJson', request)),
        reportHtml: (request) => textOf('html')(call('reportHtml', request)),
        summaryHtml: (request) => textOf('html')(call('summaryHtml', request)),
        answerHtml: (request) => textOf('html')(call('answerHtml', request)),
        answerSheetHtml: (request) => textOf('html')(call('answerSheetHtml', request)),
        sheetsHtml: (request) => textOf('html')(call('sheetsHtml', request)),
        gradesCsv: (request) => bytesOf(call('gradesCsv', request)),
        gradesXlsx: (request) => bytesOf(call('gradesXlsx', request)),
        readAnswers: (request) => call('readAnswers', request),
        sheetColumns: (request) => call('sheetColumns', request),
        parameterFile: (request) => bytesOf(call('parameterFile', request)),
        agreement: (request) => call('agreement', request),
        fit: (request) => call('fit', request),
        page: (request) => call('page', request),
        parameterFileFields: (request) => call('parameterFileFields', request),
        checkReview: (request) => call('checkReview', request),
    };
}

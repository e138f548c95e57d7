#!/usr/bin/env node
// tavi-score under Node: the WebAssembly build of the command-line program, with the same
// options and output. It reads and writes the real file system; the built-in models are read
// from ../models/ beside this file.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { isatty } from 'node:tty';
import { fileURLToPath } from 'node:url';

const createTaviScore = createRequire(import.meta.url)('./tavi-score-engine.cjs');

const here = (name) => fileURLToPath(new URL(name, import.meta.url));

const engine = await createTaviScore({
    // The .wasm file is read here: emscripten 3.1.6's loader would fetch() it by path.
    wasmBinary: readFileSync(here('tavi-score-engine.wasm')),
    thisProgram: 'tavi-score',
    preRun: [(module) => { module.ENV.TAVI_MODEL_FOLDER = here('../models/'); }],
});
// Emscripten takes the standard streams for terminals; the progress bar is drawn only on one.
for (const fd of [0, 1, 2]) engine.FS.streams[fd].tty = isatty(fd);
// Runs main and ends the process with its status (EXIT_RUNTIME).
engine.callMain(process.argv.slice(2));

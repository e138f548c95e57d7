// The browser app's service worker: it keeps the app's files, so that the app opens and scores
// without a network once it has been opened. The app's own files are asked for from the network
// first (a new version is taken as soon as it is served) and from the cache when there is no
// network; the engine, the dictionary and the models, which the engine's worker keeps in a cache
// of its own, come from that cache.
const CACHE = 'tavi-app-files-1';
const SHELL = ['./', 'index.html', 'about.html', 'assets/tavi.css', 'assets/report.js', 'assets/app.js',
    'app/app.css', 'app/shell.js', 'app/local-api.js', 'app/storage.js', 'worker.js', 'tavi-engine.mjs', 'base64.mjs',
    'tavi-engine-core.mjs'];
const ENGINE_FILES = /\/(dict|models)\/|\.wasm$/;

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(SHELL)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(self.clients.claim());
});

async function answer(request) {
    if (ENGINE_FILES.test(new URL(request.url).pathname)) {
        const kept = await caches.match(request);
        if (kept) return kept;
        return fetch(request);
    }
    try {
        const response = await fetch(request);
        if (response.ok) {
            const cache = await caches.open(CACHE);
            await cache.put(request, response.clone());
        }
        return response;
    } catch (error) {
        const kept = await caches.match(request, { ignoreSearch: true });
        if (kept) return kept;
        throw error;
    }
}

self.addEventListener('fetch', (event) => {
    const request = event.request;
    if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
    event.respondWith(answer(request));
});

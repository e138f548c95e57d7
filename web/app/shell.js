// The browser app: the pages of tavi-serve shown from the browser's own storage and engine
// (local-api.js), one page at a time under the address's #path, their downloads made in the
// page, and jobs saved to and opened from files.
import { api, download, jobFile, onEngineLoading, openJobFile, page, resumeJobs } from './local-api.js';

const content = document.getElementById('page');
const status = document.getElementById('engine-status');
const errorBox = document.getElementById('error');

const currentPath = () => decodeURI(window.location.hash.replace(/^#/, '')) || '/';
const go = (path) => {
    if (currentPath() === path) show();
    else window.location.hash = '#' + path;
};

function showError(message) {
    errorBox.textContent = message;
    errorBox.hidden = false;
}

// The page of `path` from the engine, its links made the app's and its forms bound.
let shown = 0;
async function show() {
    const path = currentPath();
    const mine = ++shown;
    errorBox.hidden = true;
    content.dataset.path = '';
    let reply;
    try {
        reply = path === '/about' ? await aboutPage() : await page(path);
    } catch (error) {
        if (mine === shown) showError(error.message);
        return;
    }
    if (mine !== shown) return;  // another page was asked for meanwhile
    document.title = `${reply.title} - Tavi`;
    content.innerHTML = reply.body;
    content.dataset.path = path;
    content.querySelectorAll('a[href^="/"]').forEach((link) => {
        const href = link.getAttribute('href');
        if (!href.startsWith('/api/')) link.setAttribute('href', '#' + href);
    });
    addJobControls(path);
    window.TaviReport.bind();
    window.TaviPages.bind();
    if (!reply.keepScroll) window.scrollTo(0, 0);
}

// The licences and the sources of the models, a page of the app's files.
async function aboutPage() {
    const response = await fetch(new URL('../about.html', import.meta.url));
    if (!response.ok) throw new Error(`about.html: ${response.status}`);
    return { title: 'ライセンスと出典', body: await response.text() };
}

// The job page's button that saves the job, with its answers, scores and marks, to a file.
function addJobControls(path) {
    const match = /^\/jobs\/([0-9a-f]{32})$/.exec(path);
    const actions = content.querySelector('#job .actions');
    if (!match || !actions) return;
    const save = document.createElement('button');
    save.type = 'button';
    save.id = 'save-job';
    save.textContent = 'ファイルに保存';
    save.title = 'このジョブ（回答文・採点結果・あなたの点数とメモ）を 1 つのファイルに保存します。別の端末でも「ファイルから開く」で開けます。';
    save.addEventListener('click', async () => {
        try {
            const name = content.querySelector('h1')?.textContent || 'job';
            saveFile(new Blob([await jobFile(match[1])], { type: 'application/json' }), `${name}.tavi`);
        } catch (error) {
            showError(error.message);
        }
    });
    const remove = actions.querySelector('[data-action="delete"]');
    actions.insertBefore(save, remove);
    actions.insertBefore(document.createTextNode(' '), remove);
}

function saveFile(blob, name) {
    const url = URL.createObjectURL(blob);
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// The pages' downloads (/api/jobs/ID/...), made here; the feedback sheets open in a window of
// their own, which prints them when asked to (#print).
document.addEventListener('click', async (event) => {
    const link = event.target.closest?.('a[href^="/api/"]');
    if (!link) return;
    event.preventDefault();
    const href = link.getAttribute('href');
    const printing = link.target === '_blank';
    const opened = printing ? window.open('', '_blank') : null;
    try {
        const file = await download(href);
        if (opened) {
            opened.document.open();
            opened.document.write(file.body);
            opened.document.close();
            if (href.endsWith('#print')) opened.print();
            return;
        }
        saveFile(new Blob([file.body], { type: file.type }), link.getAttribute('download') || file.name);
    } catch (error) {
        opened?.close();
        showError(error.message);
    }
});

document.getElementById('open-job').addEventListener('change', async (event) => {
    const [file] = event.target.files;
    event.target.value = '';
    if (!file) return;
    try {
        const { id } = await openJobFile(await file.text());
        go(`/jobs/${id}`);
    } catch (error) {
        showError(error.message);
    }
});

onEngineLoading((loaded, total) => {
    const mb = (bytes) => (bytes / 1048576).toFixed(1);
    status.hidden = loaded >= total;
    status.textContent = `形態素解析の辞書を読み込んでいます… ${mb(loaded)} / ${mb(total)} MB（初回だけです）`;
});

// The pages' scripts run with this app as their host: their api() calls answer here.
window.TaviHost = { api, go, reload: () => show().then(() => {}) };
function loadScript(src) {
    return new Promise((resolve, reject) => {
        const script = document.createElement('script');
        script.src = src;
        script.onload = resolve;
        script.onerror = () => reject(new Error(`${src} を読み込めません。`));
        document.head.appendChild(script);
    });
}

if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register(new URL('../sw.js', import.meta.url)).catch((error) => {
        console.warn('service worker:', error.message);
    });
}

try {
    await loadScript('assets/report.js');
    await loadScript('assets/app.js');
    window.addEventListener('hashchange', show);
    await show();
    await resumeJobs();
} catch (error) {
    showError(error.message);
}

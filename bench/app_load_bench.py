#!/usr/bin/python3
"""The browser app's first load: what it transfers, compressed, before its first scored answer
(aim: at most 25 MB with the default model), and the time from opening the page to the first
scored answer, on a first visit (nothing cached) and on a second one (the files from the cache),
in headless Chromium against tavi-serve on 127.0.0.1.

Usage: app_load_bench.py BIN_DIR SAMPLES_DIR WEB_DIR [ROUNDS]
"""
import base64
import gzip
import os
import shutil
import sys
import tempfile
import threading
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
from app_test import Proxy  # noqa: E402
from browser_test import browser, start_server  # noqa: E402

# In the page: a job of the question and one answer made through the app's own API, then the
# milliseconds from the page's navigation to the answer's being scored.
FIRST_SCORED = """
const [question, answer, done] = arguments;
const bytes = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
(async () => {
    while (!window.TaviHost || !window.TaviPages) await new Promise((r) => setTimeout(r, 10));
    const api = window.TaviHost.api;
    const form = new FormData();
    form.append('question', new File([bytes(question)], 'question.txt'));
    form.append('answers', new File([bytes(answer)], 'answer.txt'));
    const { id } = await api('POST', '/api/jobs', form);
    await api('POST', `/api/jobs/${id}/start`);
    for (let k = 0; k < 6000; ++k) {
        const job = await api('GET', `/api/jobs/${id}`);
        if (job.scored + job.failed >= 1) return done({ ms: performance.now(), scored: job.scored });
        await new Promise((r) => setTimeout(r, 20));
    }
    done({ error: 'not scored in time' });
})().catch((e) => done({ error: e.message }));
"""


def first_scored(driver, url, question, answer):
    driver.get(url)
    result = driver.execute_async_script(FIRST_SCORED, question, answer)
    if result.get("error") or result.get("scored") != 1:
        raise RuntimeError(f"the app did not score: {result}")
    return result["ms"] / 1000


def main():
    bin_dir, samples, web_dir = (os.path.abspath(a) for a in sys.argv[1:4])
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    b64 = lambda path: base64.b64encode(open(path, "rb").read()).decode()  # noqa: E731
    question, answer = b64(f"{samples}/question.txt"), b64(f"{samples}/answers/a01_long_on_topic.txt")
    cold, warm, transferred = [], [], None
    for r in range(rounds):
        work = tempfile.mkdtemp(prefix="tavi-app-bench-")
        log = open(f"{work}/server.log", "w")
        server, base = start_server(bin_dir, f"{work}/data", log, ["--app-dir", web_dir])
        proxy = Proxy(urllib.parse.urlsplit(base).netloc)
        threading.Thread(target=proxy.serve_forever, daemon=True).start()
        driver = browser(work, (f"--proxy-server=http://127.0.0.1:{proxy.server_address[1]}",
                                "--proxy-bypass-list=<-loopback>"))
        driver.set_script_timeout(300)
        try:
            cold.append(first_scored(driver, base + "/app/", question, answer))
            if transferred is None:
                with proxy.lock:
                    paths = {urllib.parse.urlsplit(u).path for m, u, b in proxy.requests if m == "GET"}
                files = [os.path.join(web_dir, p[len("/app/"):] or "index.html") for p in paths
                         if p.startswith("/app/")]
                files = [f if not f.endswith("/") else f + "index.html" for f in files]
                raw = sum(os.path.getsize(f) for f in files if os.path.isfile(f))
                packed = sum(len(gzip.compress(open(f, "rb").read(), 6)) for f in files if os.path.isfile(f))
                transferred = (len(files), raw, packed)
            warm.append(first_scored(driver, base + "/app/", question, answer))
        finally:
            driver.quit()
            proxy.shutdown()
            server.terminate()
            server.wait(timeout=30)
            log.close()
            shutil.rmtree(work, ignore_errors=True)
    count, raw, packed = transferred
    mb = lambda n: n / 1048576  # noqa: E731
    print(f"first load: {count} files, {mb(raw):.1f} MB, {mb(packed):.1f} MB gzipped (aim: at most 25 MB)")
    print("opening the page to the first scored answer, seconds (median of "
          f"{rounds}): first visit {sorted(cold)[rounds // 2]:.2f}, second visit {sorted(warm)[rounds // 2]:.2f}")
    print(f"  first visits: {', '.join(f'{t:.2f}' for t in cold)}; second: {', '.join(f'{t:.2f}' for t in warm)}")
    return 0 if mb(packed) <= 25 else 1


if __name__ == "__main__":
    sys.exit(main())

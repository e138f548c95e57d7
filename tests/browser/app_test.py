#!/usr/bin/python3
"""The browser app (build/web) end to end in headless Chromium, served under /app/ by tavi-serve:
it scores the sample answers from a form's CSV, opens an answer's evidence, records a mark,
downloads the CSV and compares it with tavi-score's, checks its pages with axe-core, prints the
feedback sheets, saves the job to a file and opens it again; then, with the network cut, it
opens and scores again, and takes the teacher's marks, the agreement and a fit.

Every request the browser makes goes through a proxy of the test's, which forwards only to the
server on 127.0.0.1; the test fails if a request goes anywhere else (but to Chromium's own
services, which get no secret either), is anything but GET, or carries an answer's text or a
student's name.

Usage: app_test.py BIN_DIR SAMPLES_DIR WEB_DIR
"""
import base64
import glob
import http.client
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as ec
from selenium.webdriver.support.ui import Select, WebDriverWait

from browser_test import (api_json, axe_violations, browser, check_marks_agreement_and_fit, download, open_page, pdf_pages,
                          start_server)

HOP_BY_HOP = {"connection", "keep-alive", "proxy-connection", "transfer-encoding", "upgrade", "te", "trailer"}


class Proxy(http.server.ThreadingHTTPServer):
    """A recording HTTP proxy that forwards only to `target` (host:port)."""
    daemon_threads = True

    def __init__(self, target):
        super().__init__(("127.0.0.1", 0), ProxyHandler)
        self.target = target
        self.requests = []  # (method, url, body)
        self.lock = threading.Lock()


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def relay(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        with self.server.lock:
            self.server.requests.append((self.command, self.path, body))
        url = urllib.parse.urlsplit(self.path)
        if self.command == "CONNECT" or url.netloc != self.server.target:
            self.send_response(403)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        upstream = http.client.HTTPConnection(self.server.target, timeout=60)
        headers = {k: v for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP}
        try:
            upstream.request(self.command, url.path + (f"?{url.query}" if url.query else ""), body, headers)
            reply = upstream.getresponse()
            data = reply.read()
        except OSError:
            # The server is gone (the network cut): the connection closes without an answer, as
            # a network that is down gives none.
            self.close_connection = True
            return
        self.send_response(reply.status, reply.reason)
        for k, v in reply.getheaders():
            if k.lower() not in HOP_BY_HOP and k.lower() != "content-length":
                self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        upstream.close()

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = do_OPTIONS = do_PATCH = do_CONNECT = relay


def answer_text(path):
    raw = open(path, "rb").read()
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp932")


def form_csv(answers, path):
    """A Google Forms responses sheet (UTF-8 with BOM) of the sample answers, one row each, the
    answer cell holding the file's text as it stands."""
    def quoted(cell):
        return '"' + cell.replace('"', '""') + '"'
    rows = [["タイムスタンプ", "出席番号", "氏名", "回答"]]
    for k, answer in enumerate(answers, 1):
        rows.append([f"2026/04/10 9:{k:02}:00", str(k), f"生徒 {k:02}", answer_text(answer)])
    with open(path, "w", encoding="utf-8-sig", newline="") as out:
        out.write("".join(",".join(quoted(c) for c in row) + "\r\n" for row in rows))


def new_job(driver, wait, app, name, question, answers):
    open_page(driver, app + "#/new")
    driver.find_element(By.NAME, "name").send_keys(name)
    driver.find_element(By.NAME, "question").send_keys(question)
    driver.find_element(By.ID, "answers").send_keys("\n".join(answers))
    driver.find_element(By.CSS_SELECTOR, "#new-job button[type=submit]").click()
    wait.until(ec.url_matches(re.escape(app) + r"#/jobs/[0-9a-f]{32}$"))
    wait_scored(driver)
    return driver.current_url


def check_accessible(driver):
    found = axe_violations(driver)
    assert not found, (driver.current_url, found)


def wait_scored(driver):
    """Waits for the job page shown again once its job is done, with its table of answers."""
    def shown(d):
        tables = d.find_elements(By.CSS_SELECTOR, "table#answers")
        return bool(tables) and "完了" in d.find_element(By.ID, "state").text
    WebDriverWait(driver, 300, ignored_exceptions=[StaleElementReferenceException]).until(shown)


def without_names(csv):
    """The rows of a results file without their name and path cells."""
    return [[cells[0]] + cells[2:8] for cells in (line.split(b",") for line in csv.split(b"\r\n"))]


def table_rows(driver):
    return driver.find_elements(By.CSS_SELECTOR, "table#answers tbody tr")


# Chromium's own services, which it calls whatever page it shows (updates, sign-in, the search
# engine's preconnect, form autofill): tunnels to these hosts are the browser's, not the app's.
BROWSER_SERVICES = (".google.com", ".googleapis.com", ".gvt1.com", ".gstatic.com", ".duckduckgo.com")


def browser_service(method, url):
    host = (url.rsplit(":", 1)[0] if method == "CONNECT" else urllib.parse.urlsplit(url).hostname) or ""
    return ("." + host).endswith(BROWSER_SERVICES)


def check_requests(proxy, target, secrets):
    """Every request of the app went to the server, asked only for a file, and carried no
    secret; every other one was the browser's own, and carried no secret either."""
    with proxy.lock:
        requests = list(proxy.requests)
    assert requests, "the proxy saw no request"
    app = []
    for method, url, body in requests:
        if browser_service(method, url):
            for secret in secrets:
                assert secret.encode() not in body and secret not in urllib.parse.unquote(url), (method, url)
            continue
        netloc = urllib.parse.urlsplit(url).netloc
        assert netloc == target, f"a request left {target}: {method} {url}"
        assert method in ("GET", "HEAD"), f"the app sent {method} {url}"
        assert not body, f"a request carried a body: {method} {url}"
        path = urllib.parse.unquote(url)
        assert "/api/" not in path, f"the app called the server's API: {url}"
        for secret in secrets:
            assert secret not in path, f"a request carried {secret!r}: {url}"
        app.append(url)
    return app


def main():
    bin_dir, samples, web_dir = (os.path.abspath(a) for a in sys.argv[1:4])
    work = tempfile.mkdtemp(prefix="tavi-app-")
    os.makedirs(f"{work}/downloads")
    log = open(f"{work}/server.log", "w")
    server, base = start_server(bin_dir, f"{work}/data", log, ["--app-dir", web_dir])
    target = urllib.parse.urlsplit(base).netloc
    proxy = Proxy(target)
    threading.Thread(target=proxy.serve_forever, daemon=True).start()
    driver = None
    try:
        # Loopback too goes through the proxy ("<-loopback>"), so it sees every request.
        driver = browser(work, (f"--proxy-server=http://127.0.0.1:{proxy.server_address[1]}",
                                "--proxy-bypass-list=<-loopback>"))
        wait = WebDriverWait(driver, 60)
        app = base + "/app/"
        driver.get(app)
        wait.until(ec.text_to_be_present_in_element((By.TAG_NAME, "h1"), "ジョブ一覧"))
        privacy = driver.find_element(By.ID, "privacy").text
        assert "どこにも送信されません" in privacy, privacy
        check_accessible(driver)
        WebDriverWait(driver, 30).until(lambda d: d.execute_script("return !!navigator.serviceWorker.controller"))

        # A job from a form's CSV: its columns proposed, the students named from it.
        answers = sorted(glob.glob(f"{samples}/answers/*.txt"))
        form = f"{work}/form.csv"
        form_csv(answers, form)
        open_page(driver, app + "#/new")
        driver.find_element(By.NAME, "name").send_keys("フォームの回答")
        driver.find_element(By.NAME, "question").send_keys(f"{samples}/question.txt")
        driver.find_element(By.ID, "answers").send_keys(form)
        wait.until(ec.text_to_be_present_in_element((By.ID, "send-list"), f"回答文 {len(answers)} 件"))
        assert Select(driver.find_element(By.ID, "text-column")).first_selected_option.text == "4: 回答"
        driver.find_element(By.CSS_SELECTOR, "#new-job button[type=submit]").click()
        wait.until(ec.url_matches(re.escape(app) + r"#/jobs/[0-9a-f]{32}$"))
        job_url = driver.current_url
        wait_scored(driver)
        assert driver.find_element(By.ID, "count").text == f"{len(answers)} / {len(answers)}"
        check_accessible(driver)
        names = [r.find_elements(By.TAG_NAME, "td")[1].text for r in table_rows(driver)]
        assert names == [f"生徒 {k:02}（{k}）" for k in range(1, len(answers) + 1)], names

        # The CSV equals tavi-score's on the same answers in every cell but the file's name and
        # path (the sheet's rows are named by their students).
        downloaded = download(driver, work, "download-csv", "results.csv")
        expected = subprocess.run([f"{bin_dir}/tavi-score", "--format", "csv", "-q", f"{samples}/question.txt",
                                   f"{samples}/answers"], capture_output=True, check=True).stdout
        assert without_names(downloaded) == without_names(expected)
        assert b",0007_\x90\xb6\x93k 06.txt," in downloaded  # 生徒 06's row, in Shift_JIS

        # An answer's evidence; a mark and a note kept in the browser's storage.
        table_rows(driver)[5].find_element(By.CSS_SELECTOR, "a").click()
        wait.until(ec.url_matches(re.escape(job_url) + "/answers/6$"))
        wait.until(ec.presence_of_element_located((By.CSS_SELECTOR, ".answer .text mark")))
        assert driver.find_elements(By.CSS_SELECTOR, ".answer ol.comments li")
        driver.find_element(By.NAME, "mark").send_keys("7.5")
        driver.find_element(By.NAME, "note").send_keys("一文が長い")
        driver.find_element(By.CSS_SELECTOR, "#review button").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "saved"), "保存しました"))
        driver.refresh()
        wait.until(ec.presence_of_element_located((By.NAME, "mark")))
        assert driver.find_element(By.NAME, "mark").get_attribute("value") == "7.5"
        assert driver.find_element(By.NAME, "note").get_attribute("value") == "一文が長い"
        check_accessible(driver)

        # The feedback sheets, one student at least on each page, in a window of their own.
        open_page(driver, job_url)
        app_window = driver.current_window_handle
        # The window's print() is noted instead of shown, and the test prints it to PDF itself.
        driver.execute_script("const open = window.open; window.open = (...a) => {"
                              " const w = open.apply(window, a); w.print = () => { w.printAsked = true; }; return w; };")
        driver.find_element(By.ID, "print-sheets").click()
        wait.until(lambda d: len(d.window_handles) == 2)
        driver.switch_to.window([h for h in driver.window_handles if h != app_window][0])
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".sheet"))
        wait.until(lambda d: d.execute_script("return window.printAsked === true"))
        pdf = driver.execute_cdp_cmd("Page.printToPDF", {"preferCSSPageSize": True, "printBackground": True})
        with open(f"{work}/sheets.pdf", "wb") as out:
            out.write(base64.b64decode(pdf["data"]))
        pages = pdf_pages(f"{work}/sheets.pdf")
        assert len(pages) >= len(answers), len(pages)
        whole = re.sub(r"\s+", "", "".join(pages))
        assert "生徒06" in whole and "7.5/10点" in whole and "一文が長い" in whole, whole[:400]
        driver.close()
        driver.switch_to.window(app_window)

        # Saved to a file and opened again: the same job, marks and all.
        driver.find_element(By.ID, "save-job").click()
        saved = f"{work}/downloads/フォームの回答.tavi"
        deadline = time.time() + 30
        while not os.path.exists(saved) and time.time() < deadline:
            time.sleep(0.1)
        driver.find_element(By.ID, "open-job").send_keys(saved)
        wait.until(lambda d: d.current_url != job_url and re.search(r"#/jobs/[0-9a-f]{32}$", d.current_url))
        wait_scored(driver)
        os.remove(f"{work}/downloads/results.csv")
        opened = download(driver, work, "download-csv", "results.csv")
        assert opened == downloaded
        # Files that are no job, or a damaged one, are refused and keep nothing.
        jobs_before = len(api_json(driver, "/api/jobs"))
        for content, cause in (("not JSON", "読めません"), ('{"format": "other"}', "ジョブのファイルではありません"),
                               ('{"format": "tavi-job", "version": 1, "job": {"name": "x", "question": "!!",'
                                ' "params": {}}, "answers": [{"name": 3}]}', "壊れています")):
            with open(f"{work}/damaged.tavi", "w", encoding="utf-8") as out:
                out.write(content)
            driver.find_element(By.ID, "open-job").send_keys(f"{work}/damaged.tavi")
            wait.until(ec.text_to_be_present_in_element((By.ID, "error"), cause))
        assert len(api_json(driver, "/api/jobs")) == jobs_before

        secrets = ["生徒", "一文が長い"] + [line for a in answers for line in answer_text(a).splitlines()
                                        if len(line) >= 8][:40]
        online = check_requests(proxy, target, secrets)

        # The network cut (the server and the proxy stopped): the app opens and scores again.
        server.terminate()
        server.wait(timeout=30)
        proxy.shutdown()
        proxy.server_close()
        seen = len(online)
        # Loaded again from nothing but the service worker's files (a mark left in the old
        # document tells it was).
        driver.execute_script("window.loadedBeforeTheCut = true")
        driver.get(app)
        wait.until(ec.text_to_be_present_in_element((By.TAG_NAME, "h1"), "ジョブ一覧"))
        assert driver.execute_script("return window.loadedBeforeTheCut === undefined")
        offline_url = new_job(driver, wait, app, "オフライン", f"{samples}/question.txt", answers[:3])
        totals = [r.find_elements(By.TAG_NAME, "td")[3].text for r in table_rows(driver)]
        assert len(totals) == 3 and all(re.match(r"^[0-9.]+$", t) for t in totals), totals
        open_page(driver, job_url)
        first = [r.find_elements(By.TAG_NAME, "td")[3].text for r in table_rows(driver)][:3]
        assert totals == first, (totals, first)
        assert offline_url.startswith(app)
        # The teacher's marks, the agreement and a fit, all offline too.
        check_marks_agreement_and_fit(driver, wait, job_url)
        print(f"browser app: passed ({seen} requests, all files of the app)")
        return 0
    finally:
        if driver:
            driver.quit()
        if server.poll() is None:
            server.terminate()
            server.wait(timeout=30)
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

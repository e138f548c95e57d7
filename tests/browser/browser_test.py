#!/usr/bin/python3
"""End to end in a real browser: headless Chromium signs in to tavi-serve, creates a job with
the sample answers through the form, watches it finish, opens an answer's evidence, records
a mark, downloads the CSV and compares it with tavi-score's.

Then the pages for a class: every page checked with axe-core, the feedback sheets printed to
PDF, a comment's evidence chosen, the table filtered by a comment, and every page at a phone's
width.

Usage: browser_test.py BIN_DIR SAMPLES_DIR [SCREENSHOT_DIR]
"""
import base64
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as ec
from selenium.webdriver.support.ui import Select, WebDriverWait

PASSWORD = "browser test password"


def start_server(bin_dir, data, log, arguments=()):
    subprocess.run([f"{bin_dir}/tavi-serve", "--data", data, "--add-user", "teacher"],
                   input=PASSWORD + "\n", text=True, check=True)
    server = subprocess.Popen([f"{bin_dir}/tavi-serve", "--data", data, "--listen", "127.0.0.1:0", "--jobs", "2",
                               *arguments],
                              stdout=subprocess.PIPE, stderr=log, text=True)
    deadline = time.time() + 30
    while time.time() < deadline:
        line = server.stdout.readline()
        match = re.search(r"(http://127\.0\.0\.1:\d+) で待ち受けています", line)
        if match:
            return server, match.group(1)
        if not line and server.poll() is not None:
            break
    server.kill()
    raise RuntimeError("tavi-serve did not start")


def browser(work, arguments=()):
    options = webdriver.ChromeOptions()
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--window-size=1280,1400", f"--user-data-dir={work}/profile", *arguments):
        options.add_argument(arg)
    options.add_experimental_option("prefs", {"download.default_directory": f"{work}/downloads",
                                              "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": f"{work}/downloads"})
    return driver


def rows_without_paths(csv):
    # Nine cells, each followed by a comma; the ninth is the path.
    return [b",".join(line.split(b",")[:8]) for line in csv.split(b"\r\n")]


def download(driver, work, link_id, name):
    """The bytes of the file that the page's link `link_id` downloads as `name`."""
    driver.find_element(By.ID, link_id).click()
    target = f"{work}/downloads/{name}"
    deadline = time.time() + 30
    while not os.path.exists(target) and time.time() < deadline:
        time.sleep(0.1)
    return open(target, "rb").read()


def grades_password_and_error_pages(driver, wait, base, job_url, work, answers):
    """The grades as the browser downloads them, the teacher's own password changed on its page,
    and a missing answer's page."""
    import csv
    import io
    driver.get(job_url)
    grades = download(driver, work, "download-grades-csv", "grades.csv")
    assert grades.startswith(b"\xef\xbb\xbf"), grades[:10]
    assert grades.endswith(b"\r\n") and b"\r\n" in grades
    rows = list(csv.reader(io.StringIO(grades[3:].decode("utf-8"), newline="")))
    assert rows[0][:2] == ["番号", "氏名"] and rows[0][6] == "教員の点数", rows[0]
    assert [r[1] for r in rows[1:]] == [os.path.basename(a) for a in answers], [r[1] for r in rows[1:]]
    assert rows[6][6] == "7.5" and rows[6][7] == "一文が長い", rows[6]

    driver.get(base + "/")
    driver.find_element(By.CSS_SELECTOR, "header a[href='/account']").click()
    wait.until(ec.url_to_be(base + "/account"))
    form = driver.find_element(By.ID, "change-password")
    new_password = "新しいパスワード 2"
    form.find_element(By.NAME, "oldPassword").send_keys(PASSWORD)
    form.find_element(By.NAME, "newPassword").send_keys(new_password)
    form.find_element(By.NAME, "confirm").send_keys(new_password)
    form.find_element(By.CSS_SELECTOR, "button").click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "password-saved"), "パスワードを変更しました"))

    driver.get(job_url + "/answers/99")
    assert "回答文 99 はありません" in driver.find_element(By.TAG_NAME, "main").text
    assert driver.find_element(By.CSS_SELECTOR, f"main a[href='{job_url[len(base):]}']")
def api_json(driver, path):
    """The JSON of a GET of the API, fetched by the page with its session (in the browser app,
    answered by the app itself)."""
    return driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "(window.TaviHost ? window.TaviHost.api('GET', arguments[0])"
        " : fetch(arguments[0], {credentials: 'same-origin'}).then(r => r.json())).then(done);", path)


def open_page(driver, url):
    """Opens a page; in the browser app (an address with #path) waits until it shows that path,
    since a new #path does not load the document again."""
    same = driver.current_url == url
    driver.get(url)
    if "#" in url:
        if same:
            # The same #path loads nothing: the app shows it again, after the reload that a
            # saved form asks for 0.8 s later.
            time.sleep(1)
            driver.execute_script("window.TaviHost.reload()")
        path = url.split("#", 1)[1]
        WebDriverWait(driver, 60).until(
            lambda d: d.execute_script("const p = document.getElementById('page'); return p && p.dataset.path")
            == path)


def check_marks_agreement_and_fit(driver, wait, job_url):
    """Marks entered for 12 answers (refused ones said so), the agreement shown, a fit applied,
    and the job scored again with a new paragraph mode from the parameters panel."""
    job_id = job_url.rsplit("/", 1)[1]
    open_page(driver, job_url)  # the API is fetched from a page of the site
    answers = api_json(driver, f"/api/jobs/{job_id}/answers")
    assert isinstance(answers, list), (driver.current_url, answers)
    # A teacher who marks the content alone: eleven answers besides the sixth, marked earlier
    # (its mark and note are on the feedback sheets checked later).
    numbers = [n for n in range(1, 13) if n != 6]
    marks = {n: round(10 * answers[n - 1]["scores"]["content"]) for n in numbers}

    open_page(driver, job_url + "/answers/1")
    field = driver.find_element(By.NAME, "mark")
    assert field.get_attribute("max") == "10"
    field.clear()
    field.send_keys("15")
    driver.find_element(By.CSS_SELECTOR, "#review button").click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "saved"), "保存していません"))
    assert "範囲外" in driver.find_element(By.ID, "saved").text
    for number, mark in marks.items():
        open_page(driver, f"{job_url}/answers/{number}")
        field = driver.find_element(By.NAME, "mark")
        field.clear()
        field.send_keys(str(mark))
        driver.find_element(By.CSS_SELECTOR, "#review button").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "saved"), "保存しました"))

    open_page(driver, job_url)
    wait.until(ec.visibility_of_element_located((By.ID, "agreement-figures")))
    assert driver.find_element(By.ID, "agreement-n").text == "12 件"
    assert driver.find_elements(By.CSS_SELECTOR, "#agreement-scatter svg circle")
    links = driver.find_elements(By.CSS_SELECTOR, "#agreement-answers a")
    assert links and "/answers/" in links[0].get_attribute("href")
    # The table shows the teacher's marks beside Tavi's totals.
    assert "あなたの点数" in driver.find_element(By.CSS_SELECTOR, "table#answers thead").text

    # Starting a finished job says why nothing happens.
    driver.find_element(By.CSS_SELECTOR, "button[data-action=start]").click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "notice"), "採点済みです"))

    before = api_json(driver, f"/api/jobs/{job_id}")["params"]
    driver.find_element(By.CSS_SELECTOR, "#fit button[type=submit]").click()
    WebDriverWait(driver, 60).until(ec.visibility_of_element_located((By.ID, "fit-result")))
    apply = driver.find_element(By.ID, "fit-apply")
    assert apply.is_displayed(), driver.find_element(By.ID, "fit-message").text
    assert len(driver.find_elements(By.CSS_SELECTOR, "#fit-figures tbody tr")) == 3
    apply.click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "fit-message"), "保存しました"))
    wait.until(lambda d: api_json(d, f"/api/jobs/{job_id}")["params"] != before)
    rescored = api_json(driver, f"/api/jobs/{job_id}/answers")
    assert [a["scores"]["total"] for a in rescored] != [a["scores"]["total"] for a in answers]

    # A new paragraph mode from the panel, prefilled with the fitted parameters: scored again.
    open_page(driver, job_url)
    panel = driver.find_element(By.ID, "params")
    wait.until(lambda d: panel.find_element(By.NAME, "weights").get_attribute("value") != "")
    fitted = api_json(driver, f"/api/jobs/{job_id}")["params"]
    weights = panel.find_element(By.NAME, "weights").get_attribute("value").split(":")
    assert [float(w) for w in weights] == [fitted["rhetoricWeight"], fitted["organizationWeight"],
                                           fitted["contentWeight"]], weights
    assert panel.find_element(By.NAME, "paragraphMode").get_attribute("value") == "0"
    panel.find_element(By.CSS_SELECTOR, "select[name=paragraphMode] option[value='1']").click()
    panel.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    wait.until(ec.text_to_be_present_in_element((By.ID, "params-saved"), "読み直して"))
    # Waited for from the job list: the job page reloads itself when the job is done, which
    # would race with the next page opened.
    open_page(driver, job_url.split("/jobs/")[0] + "/")
    WebDriverWait(driver, 180).until(lambda d: api_json(d, f"/api/jobs/{job_id}")["state"] == "done")
    job = api_json(driver, f"/api/jobs/{job_id}")
    assert job["params"]["paragraphMode"] == 1 and job["scored"] == len(answers), job


def form_csv(samples, path):
    """A Google Forms responses sheet of three students (UTF-8 with BOM, quoted cells), whose
    header proposes the wrong column: a short remark's header holds 回答."""
    def answer(name):
        text = open(f"{samples}/answers/{name}.txt", "rb").read()
        try:
            text = text.decode("utf-8")
        except UnicodeDecodeError:
            text = text.decode("cp932")
        return text.replace("\r\n", "\n")

    def quoted(cell):
        return '"' + cell.replace('"', '""') + '"' if any(c in cell for c in ',"\n') else cell

    rows = [["タイムスタンプ", "出席番号", "氏名", "回答の感想", "問1 環境と技術について書きなさい"],
            ["2026/04/10 9:01:00", "3", "青木 花子", "難しかった", '"環境"とは何か。\n' + answer("a01_long_on_topic")],
            ["2026/04/10 9:02:00", "12", "馬場 一郎", "", answer("a02_short")],
            ["2026/04/10 9:03:00", "21", "千葉 太郎", "短い, と思う", answer("a03_off_topic")]]
    with open(path, "w", encoding="utf-8-sig", newline="") as out:
        out.write("".join(",".join(quoted(c) for c in row) + "\r\n" for row in rows))


def sheet_job(driver, wait, base, samples, work):
    """A job from a form's CSV: the columns come from the sheet, the teacher picks the answers'
    column, and the job's table shows the students by name and number."""
    form = f"{work}/form.csv"
    form_csv(samples, form)
    driver.get(base + "/new")
    driver.find_element(By.NAME, "name").send_keys("フォームの回答")
    driver.find_element(By.NAME, "question").send_keys(f"{samples}/question.txt")
    driver.find_element(By.ID, "answers").send_keys(form)
    wait.until(lambda d: len(Select(d.find_element(By.ID, "text-column")).options) == 5)
    text = Select(driver.find_element(By.ID, "text-column"))
    assert text.first_selected_option.text == "4: 回答の感想", text.first_selected_option.text
    assert Select(driver.find_element(By.ID, "name-column")).first_selected_option.text == "3: 氏名"
    assert Select(driver.find_element(By.ID, "id-column")).first_selected_option.text == "2: 出席番号"
    wait.until(ec.text_to_be_present_in_element((By.ID, "send-list"), "回答文 2 件"))
    text.select_by_index(4)
    wait.until(ec.text_to_be_present_in_element((By.ID, "send-list"), "form.csv"))
    sent = driver.find_element(By.ID, "send-list").text
    assert "回答文 3 件" in sent, sent
    sample = driver.find_element(By.ID, "sheet-sample").text
    assert "青木 花子" in sample and "千葉 太郎" in sample, sample
    driver.find_element(By.CSS_SELECTOR, "#new-job button[type=submit]").click()
    wait.until(ec.url_matches(base + r"/jobs/[0-9a-f]{32}$"))
    WebDriverWait(driver, 180).until(ec.text_to_be_present_in_element((By.ID, "state"), "完了"))
    names = [r.find_elements(By.TAG_NAME, "td")[1].text
             for r in driver.find_elements(By.CSS_SELECTOR, "table#answers tbody tr")]
    assert names == ["青木 花子（3）", "馬場 一郎（12）", "千葉 太郎（21）"], names
AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules", "axe-core", "axe.min.js")
PHONE_WIDTH = 390


def axe_violations(driver):
    """The serious and critical violations axe-core finds on the page shown."""
    if not driver.execute_script("return !!window.axe"):
        driver.execute_script(open(AXE, encoding="utf-8").read())
    driver.set_script_timeout(60)
    found = driver.execute_async_script(
        "var done = arguments[arguments.length - 1];"
        "axe.run(document, {resultTypes: ['violations']})"
        ".then(function (r) { done(r.violations.map(function (v) {"
        "  return {id: v.id, impact: v.impact, help: v.help,"
        "          nodes: v.nodes.slice(0, 3).map(function (n) { return n.target.join(' '); })}; })); })"
        ".catch(function (e) { done([{id: 'axe-error', impact: 'critical', help: String(e), nodes: []}]); });")
    return [v for v in found if v["impact"] in ("serious", "critical")]


def check_page(driver, url, what):
    """One page: no serious or critical axe violation, one h1, no horizontal scrolling at a
    phone's width."""
    driver.get(url)
    WebDriverWait(driver, 30).until(lambda d: d.execute_script("return document.readyState") == "complete")
    problems = axe_violations(driver)
    assert not problems, f"{what}: {problems}"
    headings = driver.execute_script("return document.querySelectorAll('h1').length")
    assert headings == 1, f"{what}: {headings} h1"
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": PHONE_WIDTH, "height": 844, "deviceScaleFactor": 1, "mobile": True})
    try:
        driver.get(url)
        width = driver.execute_script("return document.documentElement.scrollWidth")
        assert width <= PHONE_WIDTH, f"{what}: {width} px wide at {PHONE_WIDTH} px"
        problems = axe_violations(driver)
        assert not problems, f"{what} at {PHONE_WIDTH} px: {problems}"
    finally:
        driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def pdf_pages(pdf_path):
    pages = int(re.search(r"Pages:\s+(\d+)", subprocess.run(["pdfinfo", pdf_path], capture_output=True, text=True,
                                                             check=True).stdout).group(1))
    return [subprocess.run(["pdftotext", "-f", str(n), "-l", str(n), "-layout", pdf_path, "-"], capture_output=True,
                           text=True, check=True).stdout for n in range(1, pages + 1)]


def check_class_pages(driver, base, job_url, work, bin_dir, names, shots):
    if not os.path.exists(AXE):
        raise RuntimeError(f"{AXE} is missing: scripts/install-deps.sh installs axe-core")
    wait = WebDriverWait(driver, 30)
    job_id = job_url.rsplit("/", 1)[1]
    sheets_url = f"{base}/api/jobs/{job_id}/sheets.html"

    # The comment counts filter the table of answers, and the job page prints every sheet.
    driver.get(job_url)
    print_link = driver.find_element(By.ID, "print-sheets")
    assert print_link.text == "すべて印刷" and print_link.get_attribute("href") == sheets_url + "#print"
    rows = driver.find_elements(By.CSS_SELECTOR, "table#answers tbody tr")
    counts = driver.find_elements(By.CSS_SELECTOR, "#comment-counts tbody tr")
    assert counts, "no comment counts"
    chosen = counts[0].find_element(By.CSS_SELECTOR, "button.filter")
    expected = int(counts[0].find_elements(By.TAG_NAME, "td")[1].text)
    key = chosen.get_attribute("data-comment")
    chosen.click()
    shown = [r for r in rows if r.is_displayed()]
    assert len(shown) == expected and 0 < expected < len(rows), (len(shown), expected, len(rows))
    assert all(key in r.get_attribute("data-comments").split() for r in shown)
    assert str(expected) in driver.find_element(By.ID, "comment-filter-status").text
    assert chosen.get_attribute("aria-pressed") == "true"
    if shots:
        driver.execute_script("document.getElementById('comment-counts-title').scrollIntoView()")
        driver.save_screenshot(f"{shots}/tavi-serve-comment-counts.png")
    chosen.click()
    assert all(r.is_displayed() for r in rows)
    # Sorting headers are buttons that say how the table is sorted.
    header = driver.find_elements(By.CSS_SELECTOR, "table#answers th")[1]
    header.find_element(By.TAG_NAME, "button").send_keys(Keys.ENTER)
    assert header.get_attribute("aria-sort") == "ascending"

    # An answer: choosing a comment outlines its evidence and scrolls to it; a tap on a mark and
    # keyboard focus show what hovering shows.
    driver.get(job_url + "/answers/6")
    comment = driver.find_element(By.CSS_SELECTOR, ".answer ol.comments li[data-c] button.comment")
    position = comment.find_element(By.XPATH, "..").get_attribute("data-c")
    comment.click()
    marked = driver.find_elements(By.CSS_SELECTOR, ".answer .text mark.chosen")
    assert marked, "no evidence outlined"
    assert all(position in m.get_attribute("data-c").split() for m in marked)
    wait.until(lambda d: d.execute_script(
        "var r = arguments[0].getBoundingClientRect(); return r.top >= 0 && r.bottom <= window.innerHeight;",
        marked[0]))
    others = [m for m in driver.find_elements(By.CSS_SELECTOR, ".answer .text mark[data-c]")
              if position not in m.get_attribute("data-c").split()]
    assert all("chosen" not in m.get_attribute("class").split() for m in others)
    mark = marked[0]
    driver.execute_script("arguments[0].focus()", mark)
    tip = driver.find_element(By.ID, "mark-tip")
    assert tip.is_displayed() and tip.get_attribute("role") == "tooltip"
    assert tip.text == mark.get_attribute("title"), tip.text
    assert mark.get_attribute("aria-describedby") == "mark-tip"
    driver.execute_script("arguments[0].blur()", mark)
    assert not tip.is_displayed()
    other = driver.find_elements(By.CSS_SELECTOR, ".answer .text mark")[-1]
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", other)
    other.click()
    assert tip.is_displayed() and tip.text == other.get_attribute("title"), tip.text

    # Printed, the answer's page is its student's sheet: no navigation or form, the mark and
    # note as text.
    pdf = driver.execute_cdp_cmd("Page.printToPDF", {"preferCSSPageSize": True, "printBackground": True})
    with open(f"{work}/answer.pdf", "wb") as out:
        out.write(base64.b64decode(pdf["data"]))
    printed = pdf_pages(f"{work}/answer.pdf")
    whole = re.sub(r"\s+", "", "".join(printed))
    assert re.sub(r"\s+", "", printed[0]).startswith("小論文の講評" + names[5]), printed[0][:300]
    assert "7.5/10点" in whole and "一文が長い" in whole, whole
    for absent in ("ログアウト", "ジョブ一覧", "保存", "次の答案"):
        assert absent not in "".join(printed), absent
    unnamed = [n for n, page in enumerate(printed, 1) if names[5] not in re.sub(r"\s+", "", page)]
    assert not unnamed, f"pages {unnamed} of {len(printed)} without the name: {printed[unnamed[0] - 1][:200]!r}"

    # The sheets print one student at least on each page, every page naming its student, and
    # no student's sheet naming another.
    driver.get(sheets_url)
    pdf = driver.execute_cdp_cmd("Page.printToPDF", {"preferCSSPageSize": True, "printBackground": True})
    pdf_path = f"{work}/sheets.pdf"
    with open(pdf_path, "wb") as out:
        out.write(base64.b64decode(pdf["data"]))
    pages = pdf_pages(pdf_path)
    assert len(pages) >= len(names), (len(pages), len(names))
    seen = []
    for number, text in enumerate(pages, 1):
        flat = re.sub(r"\s+", "", text)
        on_page = [n for n in names if n in flat]
        assert len(on_page) == 1, f"page {number} names {on_page}"
        seen.append(on_page[0])
    assert sorted(set(seen)) == sorted(names), seen
    assert seen == sorted(seen, key=names.index), seen  # each student's pages in a row, in order
    if shots:
        driver.save_screenshot(f"{shots}/tavi-serve-sheet.png")
    print(f"feedback sheets: {len(pages)} A4 pages for {len(names)} students")

    # axe-core on every page, one h1 each, none wider than a phone.
    driver.get(job_url + "/answers/1")
    subprocess.run([f"{bin_dir}/tavi-serve", "--data", f"{work}/data", "--add-user", "head", "--admin"],
                   input=PASSWORD + "\n", text=True, check=True, capture_output=True)
    driver.get(job_url)
    driver.find_element(By.LINK_TEXT, "HTML レポート").click()
    report = f"{work}/downloads/report.html"
    deadline = time.time() + 30
    while not os.path.exists(report) and time.time() < deadline:
        time.sleep(0.1)
    for url, what in ((base + "/", "job list"), (base + "/new", "new job"), (job_url, "job"),
                      (job_url + "/answers/6", "answer"), (sheets_url, "sheets"), ("file://" + report, "report")):
        check_page(driver, url, what)
    if shots:
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": PHONE_WIDTH, "height": 844, "deviceScaleFactor": 2, "mobile": True})
        driver.get(job_url)
        driver.save_screenshot(f"{shots}/tavi-serve-phone.png")
        driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def check_sign_in_and_users_pages(driver, base):
    """The sign-in page and the administrator's users page, checked as the others are; it ends
    signed in as the administrator."""
    driver.delete_all_cookies()
    check_page(driver, base + "/login", "sign-in")
    driver.find_element(By.NAME, "user").send_keys("head")
    driver.find_element(By.NAME, "password").send_keys(PASSWORD)
    driver.find_element(By.CSS_SELECTOR, "#login button").click()
    WebDriverWait(driver, 30).until(ec.url_to_be(base + "/"))
    check_page(driver, base + "/users", "users")


def main():
    bin_dir, samples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix="tavi-browser-")
    os.makedirs(f"{work}/downloads")
    log = open(f"{work}/server.log", "w")
    server, base = start_server(bin_dir, f"{work}/data", log)
    driver = None
    try:
        driver = browser(work)
        wait = WebDriverWait(driver, 30)

        driver.get(base + "/jobs/0123456789abcdef0123456789abcdef")
        wait.until(ec.url_to_be(base + "/login"))
        driver.find_element(By.NAME, "user").send_keys("teacher")
        driver.find_element(By.NAME, "password").send_keys("wrong")
        driver.find_element(By.CSS_SELECTOR, "#login button").click()
        wait.until(ec.visibility_of_element_located((By.ID, "error")))
        assert "利用者名またはパスワードが違います" in driver.find_element(By.ID, "error").text
        driver.find_element(By.NAME, "password").clear()
        driver.find_element(By.NAME, "password").send_keys(PASSWORD)
        driver.find_element(By.CSS_SELECTOR, "#login button").click()
        wait.until(ec.url_to_be(base + "/"))

        driver.get(base + "/new")
        answers = sorted(glob.glob(f"{samples}/answers/*.txt"))
        driver.find_element(By.NAME, "name").send_keys("見本の答案")
        driver.find_element(By.NAME, "question").send_keys(f"{samples}/question.txt")
        driver.find_element(By.ID, "answers").send_keys("\n".join(answers))
        driver.find_element(By.CSS_SELECTOR, "#new-job button[type=submit]").click()
        wait.until(ec.url_matches(base + r"/jobs/[0-9a-f]{32}$"))
        job_url = driver.current_url
        WebDriverWait(driver, 180).until(ec.text_to_be_present_in_element((By.ID, "state"), "完了"))
        count = driver.find_element(By.ID, "count").text
        assert count == f"{len(answers)} / {len(answers)}", count
        rows = driver.find_elements(By.CSS_SELECTOR, "table#answers tbody tr")
        assert len(rows) == len(answers), len(rows)

        # Sorting by the total puts the lowest first.
        header = driver.find_elements(By.CSS_SELECTOR, "table#answers th button")[3]
        header.click()
        totals = [float(r.find_elements(By.TAG_NAME, "td")[3].text)
                  for r in driver.find_elements(By.CSS_SELECTOR, "table#answers tbody tr")]
        assert totals == sorted(totals), totals
        if shots:
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(f"{shots}/tavi-serve-job.png")

        # An answer's evidence: highlighted text with comments; a mark recorded and kept.
        driver.get(job_url + "/answers/6")
        marks = driver.find_elements(By.CSS_SELECTOR, ".answer .text mark")
        comments = driver.find_elements(By.CSS_SELECTOR, ".answer ol.comments li")
        assert marks and comments, (len(marks), len(comments))
        assert marks[0].get_attribute("title"), "a highlight names its comment"
        driver.find_element(By.NAME, "mark").send_keys("7.5")
        driver.find_element(By.NAME, "note").send_keys("一文が長い")
        driver.find_element(By.CSS_SELECTOR, "#review button").click()
        wait.until(ec.text_to_be_present_in_element((By.ID, "saved"), "保存しました"))
        if shots:
            driver.save_screenshot(f"{shots}/tavi-serve-answer.png")
        driver.refresh()
        assert driver.find_element(By.NAME, "mark").get_attribute("value") == "7.5"
        assert driver.find_element(By.NAME, "note").get_attribute("value") == "一文が長い"

        # The CSV as the browser downloads it equals tavi-score's in every column but the path.
        driver.get(job_url)
        downloaded = download(driver, work, "download-csv", "results.csv")
        expected = subprocess.run([f"{bin_dir}/tavi-score", "--format", "csv", "-q", f"{samples}/question.txt",
                                   f"{samples}/answers"], capture_output=True, check=True).stdout
        assert rows_without_paths(downloaded) == rows_without_paths(expected)
        assert b",a01_long_on_topic.txt,\r\n" in downloaded
        grades_password_and_error_pages(driver, wait, base, job_url, work, answers)
        # Before the fit, so that the sheets and pictures show the job as first scored.
        check_class_pages(driver, base, job_url, work, bin_dir, [os.path.basename(a) for a in answers], shots)
        check_marks_agreement_and_fit(driver, wait, job_url)
        sheet_job(driver, wait, base, samples, work)
        check_sign_in_and_users_pages(driver, base)
        print("browser end to end: passed")
        return 0
    finally:
        if driver:
            driver.quit()
        server.terminate()
        server.wait(timeout=30)
        log.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

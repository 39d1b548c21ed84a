#!/usr/bin/python3
"""The web board in a real headless browser, driven by tst_web.

usage: board_browser.py URL TOKEN SCREENSHOT_DIR FROM_SILO TO_SILO

The test books its movements from FROM_SILO into TO_SILO.

Talks with the test on its standard streams: it prints a step ("book",
"reverse", "stop", "start", "deny", "allow") and waits for the test's line that the step is
done. Exits non-zero with the reason on the first check that fails.
"""
import re
import shutil
import signal
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

LIVE_LIMIT_S = 2.0
WAIT_S = 15.0
RETRY_S = 25.0  # a server that failed to read tries again after 15 s
PHONE = (360, 740)
WALL = (1920, 1080)
SILO_COUNT = 100

url, token, shots = sys.argv[1:4]
source, target = (int(silo) for silo in sys.argv[4:6])


def fail(reason):
    print("FAIL: " + reason, flush=True)
    sys.exit(1)


def check(condition, reason):
    if not condition:
        fail(reason)


def step(name):
    print(name, flush=True)
    answer = sys.stdin.readline().strip()
    check(answer == "done", "step %s: %s" % (name, answer))


def wait_for(what, condition, limit=WAIT_S):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    fail("waited %.1f s for %s" % (limit, what))


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     "--user-data-dir=" + profile):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def show_at(driver, size, name):
    width, height = size
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
    time.sleep(0.3)
    overflow = driver.execute_script(
        "const d = document.documentElement;"
        "const silos = [...document.querySelectorAll('#silos .silo')];"
        "return {wide: d.scrollWidth - innerWidth, tall: d.scrollHeight - innerHeight,"
        " outside: silos.filter(s => { const r = s.getBoundingClientRect();"
        "   return r.right > innerWidth || r.bottom > innerHeight; }).length};")
    driver.save_screenshot("%s/web_%s.png" % (shots, name))
    return overflow


def texts(driver, selector):
    return driver.execute_script(
        "return [...document.querySelectorAll(arguments[0])].map(e => e.innerText);", selector)


def stock_of(driver, silo):
    return "".join(texts(driver, "#silos a[href='#silo/%d'] .stock" % silo))


def state(driver):
    return "".join(texts(driver, "#state"))


# A test that gives up terminates the script: the browser is closed all the same.
signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
profile = tempfile.mkdtemp(prefix="board_browser_")
driver = browser(profile)
try:
    driver.get(url)
    check("Přístup odepřen" in driver.title and "SILO" not in driver.page_source, "page without the token")

    driver.get(url + "?token=" + token)
    check("token" not in driver.current_url, "the token stays in the address: " + driver.current_url)
    check(driver.execute_script("return document.cookie") == "", "the page's script reads the cookie")
    wait_for("the silos", lambda: len(texts(driver, "#silos .silo")) == SILO_COUNT)
    labels = texts(driver, "#silos .label")
    check(labels[6] == "SILO: 07" and labels[99] == "SILO: 00", "labels %s" % labels[:8])
    check(re.fullmatch(r"\d+,\d{3} t\nkapacita \d+,\d{3} t", stock_of(driver, source)), "stock " + stock_of(driver, source))

    phone = show_at(driver, PHONE, "phone")
    check(phone["wide"] <= 0, "the phone scrolls sideways: %s" % phone)
    wall = show_at(driver, WALL, "wall")
    check(wall["tall"] <= 0 and wall["wide"] <= 0 and wall["outside"] == 0, "the wall scrolls: %s" % wall)

    before = stock_of(driver, source)
    step("book")
    booked = time.monotonic()
    wait_for("the movement on the page", lambda: stock_of(driver, source) != before)
    seen = time.monotonic() - booked
    check(seen <= LIVE_LIMIT_S, "the movement showed after %.2f s" % seen)
    first = texts(driver, "#journal tr:nth-child(2) td")
    check(first[:2] == ["SILO: %02d" % source, "SILO: %02d" % target], "newest line %s" % first)

    step("reverse")
    wait_for("the reversal marked",
             lambda: len(texts(driver, "#journal tr.reversed")) == 2)

    driver.get(url + "#silo/%d" % target)
    wait_for("the target's lines", lambda: len(texts(driver, "#siloJournal td")) > 0)
    lines = texts(driver, "#siloJournal tr")[1:]
    check(len(lines) == 2 and all("SILO: %02d" % target in line for line in lines), "the target's page: %s" % lines)
    driver.get(url)

    step("stop")
    wait_for("the lost server said", lambda: state(driver).startswith("spojení přerušeno, údaje z "))
    lost = state(driver)
    check(driver.execute_script("return document.body.className") == "stale", "numbers not marked stale")
    step("start")
    wait_for("the page back live", lambda: state(driver).startswith("aktuální"))
    before = stock_of(driver, source)
    step("book")
    wait_for("a movement after the restart", lambda: stock_of(driver, source) != before, LIVE_LIMIT_S)

    step("deny")
    wait_for("the unreadable database said", lambda: state(driver).startswith("spojení přerušeno, údaje z "))
    check(driver.execute_script("return document.body.className") == "stale", "numbers not marked stale")
    step("allow")
    wait_for("the database read again", lambda: state(driver).startswith("aktuální"), RETRY_S)
    print("PASS " + lost, flush=True)
finally:
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)

#!/usr/bin/env python3
"""Measures threeway studio's update time: one edit of the panel and the new picture with its four
scopes, as the page asks for them while a control is dragged, against a 1920x1080 16-bit test card.

    bench/cli/studio_update.py [BUILD_DIR] [--cycles N] [--view WxH] [--busy] [--browser]

Starts `threeway studio` on a test card it writes, then N times: POST /api/edit (a new master
saturation, or with --busy a new midtone balance over a busy grade), then GET /api/view at the view
size with scopes 380 pixels wide. Prints the median and 90th percentile of the round trip (edit plus
view, as a client sees it) and of the server's own times for the render, the picture (JPEG) and
the scopes, in milliseconds.

With --browser the page itself is measured instead: headless Chromium (Selenium, as the browser
test drives it) in a window of the view's width plus the page's margins, N short drags of the
midtones wheel, and the update times the page records (from the first change of a drag until the
picture showing its last change is on screen).
"""
import argparse
import http.client
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

BUSY = {"MasterSaturation": 120, "ShadowBalanceAngle": 200, "ShadowBalanceMagnitude": 30,
        "HighlightBalanceAngle": 215, "HighlightBalanceMagnitude": 35, "MasterHueAngle": 5,
        "SatStartThreshold": 20, "SatStartSoftness": 10, "Soften": 10, "EdgeThinning": 20}


def browser_cycles(address, cycles, view_width):
    """The page's own update times for `cycles` drags of the midtones wheel."""
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    options = Options()
    options.binary_location = "/usr/bin/chromium"
    profile = tempfile.mkdtemp()
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--force-device-scale-factor=1", "--window-size=%d,1300" % (view_width + 420),
                 "--user-data-dir=" + profile]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.get(address)
        settled = ("const b = document.body.dataset; return b.ready === '1' && b.shown === b.version && "
                   "!window.studio.busy")
        wait = WebDriverWait(driver, 120, poll_frequency=0.02)
        wait.until(lambda d: d.execute_script(settled))
        disc = driver.find_elements(By.CSS_SELECTOR, ".wheel .disc")[2]
        for i in range(cycles):
            dx = [30, -20, 10, -25][i % 4]
            ActionChains(driver).move_to_element_with_offset(disc, 0, 0).click_and_hold() \
                .move_by_offset(dx, 8).move_by_offset(dx, 8).release().perform()
            time.sleep(0.05)
            wait.until(lambda d: d.execute_script(settled))
            wait.until(lambda d: len(d.execute_script("return window.studio.stats.latencies")) > i)
        shown = driver.execute_script("return window.studio.stats.lastView")
        return driver.execute_script("return window.studio.stats.latencies"), shown
    finally:
        driver.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--cycles", type=int, default=40)
    parser.add_argument("--view", default="960x540")
    parser.add_argument("--busy", action="store_true")
    parser.add_argument("--browser", action="store_true")
    args = parser.parse_args()
    tool = os.path.join(args.build, "bin", "threeway")
    width, height = (int(v) for v in args.view.split("x"))
    with tempfile.TemporaryDirectory() as scratch:
        card = os.path.join(scratch, "card.png")
        subprocess.run([tool, "testcard", card], check=True)
        studio = subprocess.Popen([tool, "studio", card], stdout=subprocess.PIPE, text=True)
        try:
            address = studio.stdout.readline().strip()
            port = int(address.split(":")[2].split("/")[0])
            token = address.split("token=")[1]
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
            headers = {"X-Threeway-Token": token, "Host": "127.0.0.1:%d" % port}

            def call(method, path, body=None):
                sent = dict(headers)
                if body is not None:
                    sent["Content-Type"] = "application/json"
                    body = json.dumps(body)
                connection.request(method, "/api/" + path, body=body, headers=sent)
                response = connection.getresponse()
                data = json.loads(response.read())
                if response.status != 200:
                    sys.exit("%s %s: %s" % (method, path, data))
                return data

            view = "view?w=%d&h=%d&scopes=380" % (width, height)
            if args.busy:
                call("POST", "edit", {"gesture": 1, "set": BUSY})
            if args.browser:
                latencies, shown = browser_cycles(address, args.cycles, width)
                latencies = sorted(latencies)
                print("threeway studio in headless Chromium, 1920x1080 16-bit card, picture %dx%d, %s panel, %d drags"
                      % (shown["width"], shown["height"], "busy" if args.busy else "default", len(latencies)))
                print("  page update time: median %6.1f  p90 %6.1f  (ms)"
                      % (statistics.median(latencies), latencies[int(0.9 * (len(latencies) - 1))]))
                return
            call("GET", view)  # the preview instance is made and the frame made smaller once
            trips, parts = [], {"render": [], "picture": [], "scopes": [], "total": []}
            for i in range(args.cycles):
                change = {"MidtoneBalanceAngle": (i * 7) % 360, "MidtoneBalanceMagnitude": 20 + i % 30} if args.busy \
                    else {"MasterSaturation": 60 + (i * 3) % 120}
                start = time.perf_counter()
                call("POST", "edit", {"gesture": 2, "set": change})
                shown = call("GET", view)
                trips.append((time.perf_counter() - start) * 1000)
                for key in parts:
                    parts[key].append(shown["ms"][key])

            def summary(values):
                values = sorted(values)
                return "median %6.1f  p90 %6.1f" % (statistics.median(values), values[int(0.9 * (len(values) - 1))])

            print("threeway studio update, 1920x1080 16-bit card, view %s (picture %dx%d), %s panel, %d cycles"
                  % (args.view, shown["width"], shown["height"], "busy" if args.busy else "default", args.cycles))
            print("  round trip (edit + view):  " + summary(trips))
            for key in ("render", "picture", "scopes", "total"):
                print("  server %-8s           %s" % (key + ":", summary(parts[key])))
        finally:
            studio.terminate()
            studio.wait(timeout=30)


if __name__ == "__main__":
    main()

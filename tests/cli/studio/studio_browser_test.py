"""threeway studio in a real browser: headless Chromium driven by Selenium opens the page, drags a
colour wheel and sees the picture change, presses Auto Contrast and undoes it from the keyboard,
nudges and resets a slider with keys, picks a colour with an eyedropper, saves a preset and shows
the frame at full resolution; `threeway grade` with that preset gives the same pixels as the page's
full-resolution picture, and the values the page's presses and picks left are those grade's
--press and --pick give. A screenshot of the page is kept (SCREENSHOT).

    studio_browser_test.py BUILD_DIR SCREENSHOT
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from studio_process import Studio, run_tool  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
SCREENSHOT = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(BUILD, "studio-screenshot.png"))
WAIT = 120  # seconds for anything the page waits on the server for (a loaded 2-core machine)

# Without the background-networking switches Chromium keeps trying services that a machine without
# a network refuses; as root it needs --no-sandbox.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-dev-shm-usage", "--window-size=1500,1250", "--force-device-scale-factor=1"]


def start_chromium(profile):
    """Chromium through chromedriver. Only the start is tried again (a browser that fails to come up
    on a busy machine); nothing after it is."""
    failures = []
    for attempt in range(3):
        options = Options()
        options.binary_location = "/usr/bin/chromium"
        for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + os.path.join(profile, str(attempt))]:
            options.add_argument(flag)
        try:
            driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
            driver.set_page_load_timeout(WAIT)
            driver.set_script_timeout(WAIT)
            return driver
        except WebDriverException as error:
            failures.append(str(error).strip().splitlines()[0])
            time.sleep(2)
    raise AssertionError("Chromium did not start: " + "; ".join(failures))


def preset_values(path):
    with open(path) as preset:
        return json.load(preset)


class StudioBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="threeway_studio_browser_")
        card = os.path.join(cls.dir, "card.png")
        run_tool(BUILD, "testcard", card, "--size", "640x360")
        # The input: the card with its levels squeezed, so Auto Contrast has something to do.
        cls.input = os.path.join(cls.dir, "shot.png")
        run_tool(BUILD, "grade", card, cls.input, "--set", "MasterOutputBlackLevel=30",
                 "--set", "MasterOutputWhiteLevel=215")
        cls.studio = Studio(BUILD, cls.input)
        cls.driver = start_chromium(os.path.join(cls.dir, "profile"))

    @classmethod
    def tearDownClass(cls):
        try:
            cls.driver.quit()
        finally:
            cls.studio.stop()
            shutil.rmtree(cls.dir, ignore_errors=True)

    # ------------------------------------------------------------------------------------------
    # Helpers

    def path(self, name):
        return os.path.join(self.dir, name)

    def script(self, text, *args):
        return self.driver.execute_script(text, *args)

    def until(self, condition, what):
        try:
            return WebDriverWait(self.driver, WAIT, poll_frequency=0.1).until(lambda d: condition())
        except Exception:
            message = self.script("return document.getElementById('message').textContent")
            raise AssertionError("waited %d s for %s; the page says %r" % (WAIT, what, message))

    def settled(self):
        """The page has no edit on its way and shows the panel's latest version."""
        self.until(lambda: self.script(
            "const b = document.body.dataset; return b.version !== undefined && b.shown === b.version"),
            "the picture of the latest version")

    def values(self):
        return self.studio.api("GET", "state")["values"]

    def mean_colour(self):
        """The mean red, green and blue of the picture the page shows."""
        return self.script("""
            const img = document.getElementById('picture');
            const canvas = document.createElement('canvas');
            canvas.width = img.naturalWidth; canvas.height = img.naturalHeight;
            const context = canvas.getContext('2d');
            context.drawImage(img, 0, 0);
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            const sum = [0, 0, 0];
            for (let i = 0; i < data.length; i += 4) { sum[0] += data[i]; sum[1] += data[i + 1]; sum[2] += data[i + 2]; }
            const n = data.length / 4;
            return sum.map((s) => s / n);""")

    def grade_preset(self, *options):
        """The preset grade leaves after `options` on the input."""
        name = self.path("grade-%d.json" % time.monotonic_ns())
        run_tool(BUILD, "grade", self.input, self.path("scratch.png"), "-y", *options, "--save-preset", name)
        return preset_values(name)

    # ------------------------------------------------------------------------------------------

    def test_grade_by_eye_and_keep_it(self):
        d = self.driver
        d.get(self.studio.address)
        self.until(lambda: self.script("return document.body.dataset.ready === '1'"), "the page to be built")
        self.settled()
        # Every control came from the server's panel: one per valued parameter it shows.
        wheels = d.find_elements(By.CSS_SELECTOR, ".wheel")
        self.assertEqual([w.find_element(By.CSS_SELECTOR, "h2 span").text for w in wheels],
                         ["Master", "Shadows", "Midtones", "Highlights"])
        self.assertEqual(len(d.find_elements(By.CSS_SELECTOR, "#panel .control select")), 3)  # the three popups
        self.assertEqual([b.text for b in d.find_elements(By.CSS_SELECTOR, "#panel .buttons button")],
                         ["Auto Black Level", "Auto Contrast", "Auto White Level"])
        scopes = self.script("return ['waveform', 'parade', 'vectorscope', 'histogram'].map("
                             "(n) => document.getElementById('scope-' + n).naturalWidth)")
        self.assertTrue(all(width >= 128 for width in scopes), scopes)  # the vectorscope is square

        # Drag the master wheel's point to the right: the balance angle 0 pushes every colour towards
        # +U on the vectorscope (B - Y), which raises blue, lowers green a little and leaves red.
        before = self.mean_colour()
        disc = wheels[0].find_element(By.CSS_SELECTOR, ".disc")
        radius = disc.size["width"] / 2
        ActionChains(d).move_to_element(disc).click_and_hold().move_by_offset(int(radius * 0.3), 0) \
            .move_by_offset(int(radius * 0.3), 0).release().perform()
        self.settled()
        values = self.values()
        self.assertLess(min(values["MasterBalanceAngle"], 360 - values["MasterBalanceAngle"]), 4)
        self.assertGreater(values["MasterBalanceMagnitude"], 40)
        after = self.mean_colour()
        self.assertGreater(after[2] - before[2], 3, (before, after))
        self.assertLess(after[1] - before[1], -1, (before, after))
        self.assertLess(abs(after[0] - before[0]), 1.5, (before, after))
        latencies = self.script("return window.studio.stats.latencies")
        self.assertTrue(latencies, "the page measured no update time")
        print("page update times while dragging (ms): %s" % ", ".join("%.0f" % v for v in latencies))
        # The drag was one step of the history.
        self.assertEqual(self.studio.api("GET", "state")["undo"], 1)
        # B shows the source, and again the grade.
        body = d.find_element(By.TAG_NAME, "body")
        body.send_keys("b")
        self.until(lambda: self.script("return window.studio.stats.lastView.before"), "the source (B)")
        source = self.mean_colour()
        self.assertLess(max(abs(a - b) for a, b in zip(source, before)), 0.5, (source, before))
        body.send_keys("b")
        self.until(lambda: not self.script("return window.studio.stats.lastView.before"), "the grade again (B)")

        # Auto Contrast: the levels the effect finds are those grade --press finds; Ctrl+Z undoes it.
        d.find_element(By.CSS_SELECTOR, "#panel button[data-param='AutoContrast']").click()
        self.until(lambda: self.values()["MasterInputBlackLevel"] != 0, "Auto Contrast to move the levels")
        self.settled()
        pressed = self.grade_preset("--press", "AutoContrast")
        values = self.values()
        for name in ("MasterInputBlackLevel", "MasterInputWhiteLevel"):
            self.assertEqual(values[name], pressed[name], name)
        self.assertGreater(pressed["MasterInputBlackLevel"], 5)
        self.assertLess(pressed["MasterInputWhiteLevel"], 250)
        body.send_keys(Keys.CONTROL, "z")
        self.until(lambda: self.values()["MasterInputBlackLevel"] == 0, "Ctrl+Z to undo the press")
        self.assertEqual(self.values()["MasterInputWhiteLevel"], 255)
        self.settled()

        # Keys on a slider: an arrow nudges it, Shift ten times as far, Delete resets it.
        row = d.find_element(By.CSS_SELECTOR, "#panel .control[data-param='MidtoneSaturation']")
        slider = row.find_element(By.CSS_SELECTOR, "input[type='range']")
        slider.send_keys(Keys.ARROW_RIGHT)
        self.until(lambda: self.values()["MidtoneSaturation"] == 101, "the arrow key's step")
        slider.send_keys(Keys.SHIFT, Keys.ARROW_LEFT)
        self.until(lambda: self.values()["MidtoneSaturation"] == 91, "the shifted arrow key's step")
        slider.send_keys(Keys.DELETE)
        self.until(lambda: self.values()["MidtoneSaturation"] == 100, "Delete to reset the slider")
        self.settled()

        # The midtones' eyedropper, then a click on the skin-tone patch of the picture.
        wheels[2].find_element(By.CSS_SELECTOR, "button.pick").click()
        picture = d.find_element(By.ID, "picture")
        size = picture.size
        ActionChains(d).move_to_element_with_offset(picture, int(size["width"] * (0.8125 - 0.5)),
                                                    int(size["height"] * (0.70 - 0.5))).click().perform()
        self.until(lambda: self.values()["GrayBalance"] != [128, 128, 128], "the pick")
        self.settled()
        message = d.find_element(By.ID, "message").text
        x, y = (int(v) for v in message.rsplit(" at ", 1)[1].split(","))
        picked = self.grade_preset("--pick", "GrayBalance=%d,%d" % (x, y))
        values = self.values()
        for name in ("GrayBalance", "MidtoneBalanceAngle", "MidtoneBalanceMagnitude"):
            self.assertEqual(values[name], picked[name], name)
        self.assertGreater(values["MidtoneBalanceMagnitude"], 10)  # a skin tone is far from grey
        # The wheel shows what the pick set.
        self.assertIn("magnitude %.2f" % values["MidtoneBalanceMagnitude"],
                      wheels[2].find_element(By.CSS_SELECTOR, ".readout").text)

        # Save the preset, and look at the frame at full resolution.
        d.find_element(By.ID, "save-preset").click()
        self.until(lambda: self.script("return document.body.dataset.saved || ''") == self.path("shot_look.json"),
                   "the preset to be saved")
        self.assertEqual(preset_values(self.path("shot_look.json")), self.values())
        d.find_element(By.ID, "full").click()
        self.until(lambda: self.script("return document.body.dataset.shownFull === '1'"), "the full-resolution picture")
        source = picture.get_attribute("src")
        self.assertTrue(source.startswith("data:image/png;base64,"), source[:40])
        with open(self.path("page.png"), "wb") as page:
            page.write(base64.b64decode(source.split(",", 1)[1]))
        d.save_screenshot(SCREENSHOT)

        # grade with the saved preset gives the page's pixels: every channel of every pixel.
        run_tool(BUILD, "grade", self.input, self.path("graded.png"), "--preset", self.path("shot_look.json"))
        info = subprocess.run(["oiiotool", "--info", "-v", self.path("page.png")], capture_output=True, text=True)
        self.assertIn("640 x  360, 3 channel, uint16 png", info.stdout)
        diff = subprocess.run(["oiiotool", "--diff", "--fail", "0", "--failpercent", "0", "--warn", "0",
                               self.path("page.png"), self.path("graded.png")], capture_output=True, text=True)
        self.assertEqual(diff.returncode, 0, diff.stdout + diff.stderr)
        self.assertIn("PASS", diff.stdout)
        # And the grade is not the source: the look is in those pixels.
        unchanged = subprocess.run(["oiiotool", "--diff", "--fail", "0", "--warn", "0", self.input,
                                    self.path("graded.png")], capture_output=True, text=True)
        self.assertNotEqual(unchanged.returncode, 0)

        # The page's Render writes the whole input with the same pixels.
        d.find_element(By.ID, "render").click()
        self.until(lambda: self.script("return document.body.dataset.render || ''") == "done", "the render")
        diff = subprocess.run(["oiiotool", "--diff", "--fail", "0", "--failpercent", "0", "--warn", "0",
                               self.path("shot_graded.png"), self.path("graded.png")], capture_output=True, text=True)
        self.assertEqual(diff.returncode, 0, diff.stdout + diff.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)

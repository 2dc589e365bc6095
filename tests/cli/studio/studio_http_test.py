"""threeway studio through plain HTTP requests: who may use it (loopback only, the token, the Host
header), what a request may hold (sizes, kinds, values; nothing names a file), two clients editing
at once, a client that goes away mid-response, and what the server writes (presets, LUTs and
renders equal to what grade and lut write, whole or not at all).

    studio_http_test.py BUILD_DIR
"""
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from studio_process import Studio, run_tool  # noqa: E402

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")


def same_pixels(a, b):
    """oiiotool's comparison of every channel of every pixel: equal, or the report."""
    done = subprocess.run(["oiiotool", "--diff", "--fail", "0", "--failpercent", "0", "--warn", "0", a, b],
                          capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


class StudioHttp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="threeway_studio_http_")
        cls.card = os.path.join(cls.dir, "card.png")
        run_tool(BUILD, "testcard", cls.card, "--size", "320x180")
        cls.studio = Studio(BUILD, cls.card)

    @classmethod
    def tearDownClass(cls):
        status, err = cls.studio.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)
        # A stop signal ends the studio as it ends every command.
        assert status == 143 and "threeway studio: interrupted by SIGTERM" in err, (status, err)

    def state(self):
        return self.studio.api("GET", "state")

    def test_listens_on_the_loopback_address_only(self):
        listening = []
        with open("/proc/net/tcp") as table:
            for line in table.readlines()[1:]:
                local, state = line.split()[1], line.split()[3]
                address, port = local.split(":")
                if int(port, 16) == self.studio.port and state == "0A":  # LISTEN
                    listening.append(socket.inet_ntoa(struct.pack("<I", int(address, 16))))
        self.assertEqual(listening, ["127.0.0.1"])

    def test_a_second_studio_on_a_taken_port_says_so(self):
        done = subprocess.run([os.path.join(BUILD, "bin", "threeway"), "studio", self.card, "--port",
                               str(self.studio.port)], capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 1)
        self.assertIn("cannot listen on 127.0.0.1:%d: the port is taken" % self.studio.port, done.stderr)
        self.assertEqual(done.stdout, "")

    def test_refuses_requests_without_the_token(self):
        s = self.studio
        before = self.state()
        host = {"Host": s.host}
        for method, path, body in [("GET", "/", None), ("GET", "/studio.js", None), ("GET", "/api/state", None),
                                   ("GET", "/api/view?w=64&h=64", None), ("POST", "/api/save-preset", "{}"),
                                   ("POST", "/api/edit", '{"set": {"MasterSaturation": 5}}')]:
            for headers in [host, dict(host, **{"X-Threeway-Token": "0" * 32}),
                            dict(host, **{"X-Threeway-Token": s.token[:-1]}),
                            dict(host, **{"Cookie": "threeway_studio_%d=%s" % (s.port, "f" * 32)})]:
                if body is not None:
                    headers = dict(headers, **{"Content-Type": "application/json"})
                status, _, data = s.request(method, path, body, headers=headers)
                self.assertEqual(status, 403, (method, path, headers, data))
                self.assertIn("token", json.loads(data)["error"])
        # A wrong token in the address is refused too; nothing was changed or written.
        self.assertEqual(s.request("GET", "/?token=" + "0" * 32, headers=host)[0], 403)
        self.assertEqual(self.state(), before)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "card_look.json")))

    def test_first_visit_sets_a_cookie_for_the_page_and_the_api_needs_the_header(self):
        s = self.studio
        status, headers, _ = s.request("GET", "/?token=" + s.token, headers={"Host": s.host})
        self.assertEqual(status, 303)
        self.assertEqual(headers["Location"], "/")
        cookie = headers["Set-Cookie"]
        self.assertIn("threeway_studio_%d=%s" % (s.port, s.token), cookie)
        self.assertIn("HttpOnly", cookie)
        self.assertIn("SameSite=Strict", cookie)
        with_cookie = {"Host": s.host, "Cookie": "other=1; threeway_studio_%d=%s" % (s.port, s.token)}
        status, headers, page = s.request("GET", "/", headers=with_cookie)
        self.assertEqual(status, 200)
        self.assertIn(b'<meta name="threeway-token" content="%s">' % s.token.encode(), page)
        self.assertIn("frame-ancestors 'none'", headers["Content-Security-Policy"])
        self.assertEqual(s.request("GET", "/studio.js", headers=with_cookie)[0], 200)
        # The cookie alone does not drive the panel: another site's page could make the browser send it.
        status, _, _ = s.request("POST", "/api/edit", '{"set": {"MasterSaturation": 5}}',
                                 headers=dict(with_cookie, **{"Content-Type": "application/json"}))
        self.assertEqual(status, 403)

    def test_refuses_other_host_names(self):
        s = self.studio
        for host in ["evil.example:%d" % s.port, "evil.example", "127.0.0.1", "127.0.0.1:%d" % (s.port + 1),
                     "localhost.evil.example:%d" % s.port, "[::1]:%d" % s.port, "0.0.0.0:%d" % s.port]:
            for path in ["/api/state", "/?token=" + s.token]:
                status, _, data = s.request("GET", path, headers={"Host": host, "X-Threeway-Token": s.token})
                self.assertEqual(status, 403, (host, path))
                self.assertIn("is not this studio's", json.loads(data)["error"])
        for host in ["localhost:%d" % s.port, "LOCALHOST:%d" % s.port, s.host]:
            status, _, _ = s.request("GET", "/api/state", headers={"Host": host, "X-Threeway-Token": s.token})
            self.assertEqual(status, 200, host)
        twice = [("Host", s.host), ("Host", "evil.example"), ("X-Threeway-Token", s.token)]
        self.assertEqual(s.request("GET", "/api/state", headers=twice)[0], 400)

    def test_bodies_are_limited_and_validated(self):
        s = self.studio
        before = self.state()
        cases = [
            ('{"set": {"Bogus": 1}}', 400, 'unknown parameter "Bogus"'),
            ('{"set": {"MasterSaturation": "120"}}', 400, "MasterSaturation: expected a number, found a string"),
            ('{"set": {"MasterSaturation": 250}}', 400, "250 is outside the range 0 .. 200"),
            ('{"set": {"ShowMask": 1}}', 400, "ShowMask: expected true or false"),
            ('{"set": {"Invert": "Sideways"}}', 400, '"Sideways" is not a choice'),
            ('{"set": {"BlackBalance": [1, 2]}}', 400, "expected [R, G, B]"),
            ('{"set": {"MasterSaturation": 120, "MasterSaturation": 130}}', 400, "line 1, column"),
            ('{"set": {"AutoContrast": true}}', 400, "AutoContrast is a button"),
            ('{"set": 5}', 400, "a preset is an object"),
            ('{"press": "MasterSaturation"}', 400, "is not a button"),
            ('{"pick": {"name": "GrayBalance", "x": 320, "y": 0}}', 400, "is outside the 320x180 frame"),
            ('{"pick": {"name": "MasterSaturation", "x": 1, "y": 1}}', 400, "is not a colour parameter"),
            ('{"pick": {"name": "GrayBalance", "x": 1.5, "y": 1}}', 400, "whole pixels"),
            ('{"set": {}, "press": "AutoContrast"}', 400, "not two"),
            ('{"set": {}, "path": "/etc/passwd"}', 400, 'unknown key "path"'),
            ('{"gesture": -1, "set": {}}', 400, "gesture"),
            ('{"set": {"MasterSaturation": 120}', 400, "line 1, column 34"),
            ('[]', 400, "an edit is a JSON object"),
            ('{"set": {"MasterInputBlackLevel": 200, "MasterInputWhiteLevel": 200}}', 400, "both 200"),
        ]
        for body, status, message in cases:
            got, _, data = s.request("POST", "/api/edit", body,
                                     headers={"Host": s.host, "X-Threeway-Token": s.token,
                                              "Content-Type": "application/json"})
            self.assertEqual(got, status, body)
            self.assertIn(message, json.loads(data)["error"], body)
        # Not JSON, too large: refused before anything is read.
        json_headers = {"Host": s.host, "X-Threeway-Token": s.token, "Content-Type": "application/json"}
        self.assertEqual(s.request("POST", "/api/edit", '{"set": {}}',
                                   headers=dict(json_headers, **{"Content-Type": "text/plain"}))[0], 415)
        big = '{"set": {}, "gesture": 1' + " " * 70000 + "}"
        self.assertEqual(s.request("POST", "/api/edit", big, headers=json_headers)[0], 413)
        huge = '{"MasterSaturation": 120' + " " * (2 << 20) + "}"
        self.assertEqual(s.request("POST", "/api/preset", huge, headers=json_headers)[0], 413)
        self.assertEqual(s.request("POST", "/api/preset", '{"MasterSaturation": 500}', headers=json_headers)[0], 400)
        self.assertEqual(s.request("POST", "/api/frame", '{"frame": 1}', headers=json_headers)[0], 400)
        self.assertEqual(s.request("POST", "/api/frame", '{"frame": "/etc/passwd"}', headers=json_headers)[0], 400)
        self.assertEqual(s.request("POST", "/api/lut", '{"size": 5}', headers=json_headers)[0], 400)
        self.assertEqual(s.request("GET", "/api/view?w=abc", headers=json_headers)[0], 400)
        # Nothing was changed by any of them.
        self.assertEqual(self.state(), before)

    def test_no_request_names_a_file(self):
        s = self.studio
        with_cookie = {"Host": s.host, "X-Threeway-Token": s.token,
                       "Cookie": "threeway_studio_%d=%s" % (s.port, s.token)}
        for path in ["/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/card.png", "/api/../card.png",
                     "/api/file?path=/etc/passwd", "/index.html/../../card.png"]:
            status, _, data = s.request("GET", path, headers=with_cookie)
            self.assertIn(status, (400, 404), path)
            self.assertNotIn(b"root:", data)
            self.assertNotIn(b"PNG", data[:8])

    def test_two_clients_editing_at_once_never_leave_the_panel_half_changed(self):
        s = self.studio
        errors = []

        def editor(offset):
            try:
                for i in range(40):
                    value = offset + i
                    s.api("POST", "edit", {"gesture": offset * 1000 + i,
                                           "set": {"MasterSaturation": value, "ShadowSaturation": value,
                                                   "HighlightSaturation": value}})
            except Exception as error:  # noqa: BLE001 - reported below
                errors.append(error)

        def reader():
            try:
                for _ in range(60):
                    values = self.state()["values"]
                    seen = {values["MasterSaturation"], values["ShadowSaturation"], values["HighlightSaturation"]}
                    if len(seen) != 1:
                        errors.append(AssertionError("a half-applied edit: %s" % seen))
            except Exception as error:  # noqa: BLE001
                errors.append(error)

        before = self.state()
        threads = [threading.Thread(target=editor, args=(o,)) for o in (10, 110)] + [threading.Thread(target=reader)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(errors, [])
        after = self.state()
        self.assertEqual(after["version"], before["version"] + 80)  # every edit changed the panel once
        self.assertEqual(after["undo"], min(500, before["undo"] + 80))
        self.assertIn(after["values"]["MasterSaturation"], (49, 149))  # one client's last edit won
        s.api("POST", "preset", {"MasterSaturation": 100, "ShadowSaturation": 100, "HighlightSaturation": 100})

    def test_a_client_that_goes_away_mid_response_does_not_stop_the_server(self):
        s = self.studio
        for _ in range(5):
            connection = socket.create_connection(("127.0.0.1", s.port))
            connection.sendall(("GET /api/view?full=1&scopes=2048 HTTP/1.1\r\nHost: %s\r\nX-Threeway-Token: %s\r\n\r\n"
                                % (s.host, s.token)).encode())
            connection.recv(64)  # the answer has begun
            # Closed with a reset, unread: the server's next writes fail.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            connection.close()
        for _ in range(3):
            connection = socket.create_connection(("127.0.0.1", s.port))
            connection.sendall(("GET /api/view?w=320&h=180&scopes=400 HTTP/1.1\r\nHost: %s\r\n"
                                "X-Threeway-Token: %s\r\n\r\n" % (s.host, s.token)).encode())
            connection.close()  # before any answer
        self.assertIsNone(s.process.poll())
        view = s.api("GET", "view?w=160&h=90&scopes=192")
        self.assertEqual((view["width"], view["height"]), (160, 90))
        self.assertTrue(view["picture"].startswith("data:image/jpeg;base64,"))
        self.assertEqual(sorted(view["scopes"]), ["histogram", "parade", "vectorscope", "waveform"])

    def test_undo_and_redo_walk_the_history(self):
        s = self.studio
        start = self.state()
        s.api("POST", "edit", {"gesture": 7, "set": {"MidtoneSaturation": 90}})
        s.api("POST", "edit", {"gesture": 7, "set": {"MidtoneSaturation": 80}})  # the same drag: one step
        s.api("POST", "edit", {"gesture": 8, "set": {"MidtoneSaturation": 70}})
        self.assertEqual(s.api("POST", "undo")["values"]["MidtoneSaturation"], 80)
        self.assertEqual(s.api("POST", "undo")["values"]["MidtoneSaturation"], start["values"]["MidtoneSaturation"])
        self.assertEqual(s.api("POST", "redo")["values"]["MidtoneSaturation"], 80)
        self.assertEqual(s.api("POST", "redo")["values"]["MidtoneSaturation"], 70)
        self.assertIn("nothing to redo", s.api("POST", "redo", expect=409)["error"])
        s.api("POST", "edit", {"gesture": 0, "set": {"MidtoneSaturation": 100}})


class StudioFiles(unittest.TestCase):
    """What the studio writes equals what grade and lut write, whole or not at all."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="threeway_studio_files_")
        self.card = os.path.join(self.dir, "card.png")
        run_tool(BUILD, "testcard", self.card, "--size", "320x180")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_preset_lut_and_render_equal_what_grade_and_lut_write(self):
        studio = Studio(BUILD, self.card)
        try:
            look = {"MasterSaturation": 140, "ShadowBalanceAngle": 200, "ShadowBalanceMagnitude": 30,
                    "HighlightHueAngle": 15, "Soften": 4, "SatStartThreshold": 20, "SatStartSoftness": 10}
            studio.api("POST", "edit", {"gesture": 1, "set": look})
            studio.api("POST", "edit", {"pick": {"name": "GrayBalance", "x": 290, "y": 120}})
            saved = studio.api("POST", "save-preset")
            self.assertEqual(saved["path"], self.path("card_look.json"))
            with open(self.path("card_look.json")) as preset:
                text = preset.read()
            self.assertEqual(text, studio.request("GET", "/api/preset")[2].decode())
            # The same values as grade gives from the same options.
            run_tool(BUILD, "grade", self.card, self.path("ref.png"), "--preset", self.path("card_look.json"),
                     "--save-preset", self.path("ref.json"))
            with open(self.path("ref.json")) as preset:
                self.assertEqual(preset.read(), text)

            exported = studio.api("POST", "lut", {"size": 17})
            self.assertEqual(exported["leftOut"], ["Soften (the qualifier is baked unsoftened)"])
            run_tool(BUILD, "lut", self.path("ref.cube"), "--preset", self.path("card_look.json"), "--size", "17")
            with open(self.path("card_look.cube")) as a, open(self.path("ref.cube")) as b:
                self.assertEqual(a.read().replace("card_look", "ref"), b.read())

            studio.api("POST", "render")
            status = studio.wait_render()
            self.assertEqual(status["state"], "done", status)
            self.assertEqual((status["done"], status["path"]), (1, self.path("card_graded.png")))
            equal, report = same_pixels(self.path("card_graded.png"), self.path("ref.png"))
            self.assertTrue(equal, report)
            # A file the studio wrote is its own to replace; a second render does.
            first = os.stat(self.path("card_graded.png")).st_ino
            studio.api("POST", "render")
            self.assertEqual(studio.wait_render()["state"], "done")
            self.assertNotEqual(os.stat(self.path("card_graded.png")).st_ino, first)
        finally:
            studio.stop()

    def test_files_that_existed_are_replaced_only_with_y_and_a_cancelled_render_writes_nothing(self):
        frames = self.path("frames.raw")
        with open(frames, "wb") as raw:
            raw.write(os.urandom(320 * 180 * 4) * 200)
        for name in ("frames_graded.raw", "frames_look.json"):
            with open(self.path(name), "w") as old:
                old.write("mine")
        studio = Studio(BUILD, frames, "--raw-in", "bgra", "320x180", "--threads", "1")
        try:
            panel = studio.api("GET", "panel")
            self.assertEqual((panel["input"]["frames"], panel["input"]["frameCount"]), (True, 200))
            self.assertEqual(studio.api("POST", "frame", {"frame": 150})["frame"], 150)
            self.assertIn("ends after 200 frames", studio.api("POST", "frame", {"frame": 200}, expect=400)["error"])
            self.assertEqual(studio.api("POST", "frame", {"frame": 3})["frame"], 3)
            self.assertIn("already exists (-y replaces it)", studio.api("POST", "save-preset", expect=500)["error"])
            studio.api("POST", "render")
            failed = studio.wait_render()
            self.assertEqual(failed["state"], "failed")
            self.assertIn("already exists (-y replaces it)", failed["message"])
            for name in ("frames_graded.raw", "frames_look.json"):
                with open(self.path(name)) as old:
                    self.assertEqual(old.read(), "mine")
            os.remove(self.path("frames_graded.raw"))
            # A slow panel (a wide Soften of a soft qualifier), so the render is still running when cancelled.
            studio.api("POST", "edit", {"set": {"MasterSaturation": 0, "Soften": 50, "EdgeThinning": 30,
                                                "SatStartThreshold": 10, "SatStartSoftness": 20}})
            studio.api("POST", "render")
            self.assertIn("a render is running", studio.api("POST", "render", expect=409)["error"])
            studio.api("POST", "render/cancel")
            cancelled = studio.wait_render()
            self.assertEqual(cancelled["state"], "cancelled", cancelled)
            self.assertLess(cancelled["done"], 200)
            self.assertEqual(sorted(os.listdir(self.dir)), ["card.png", "frames.raw", "frames_look.json"])
        finally:
            studio.stop()
        # With -y: the old files are replaced.
        studio = Studio(BUILD, frames, "--raw-in", "bgra", "320x180", "-y")
        try:
            studio.api("POST", "save-preset")
            with open(self.path("frames_look.json")) as preset:
                self.assertIn('"MasterSaturation": 100', preset.read())
        finally:
            studio.stop()

    def test_refuses_outputs_over_the_input_and_standard_input(self):
        for args, code, message in [(["--output", self.card], 1, "refusing to overwrite the input"),
                                    (["--lut", self.path("x.json"), "--save-preset", self.path("x.json")], 2,
                                     "two outputs are the same file"),
                                    (["--port", "70000"], 2, "port number")]:
            done = subprocess.run([os.path.join(BUILD, "bin", "threeway"), "studio", self.card, *args],
                                  capture_output=True, text=True, timeout=60)
            self.assertEqual(done.returncode, code, args)
            self.assertIn(message, done.stderr)
        done = subprocess.run([os.path.join(BUILD, "bin", "threeway"), "studio", "-", "--raw-in", "bgra", "4x4"],
                              capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 2)
        self.assertIn("not standard input", done.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)

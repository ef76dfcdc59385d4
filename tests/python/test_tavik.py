"""The tavik Python package against the reference server (one server for the whole file).

Run by ctest with PYTHONPATH naming the build's copy of the package and TAVIK_SERVER_PROGRAM the
server; every wait is bounded."""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import tavik


class ServerFixture(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tavik-python-")
        cls.disk = os.path.join(cls.work, "disk")
        # "list" is only read; transfers write into "work".
        os.makedirs(os.path.join(cls.disk, "list", "폴더"))
        os.makedirs(os.path.join(cls.disk, "work"))
        with open(os.path.join(cls.disk, "list", "small.txt"), "wb") as out:
            out.write(b"twelve bytes")
        with open(os.path.join(cls.disk, "list", "폴더", "inner.bin"), "wb") as out:
            out.write(os.urandom(3000))
        cls.log = open(os.path.join(cls.work, "server.log"), "w+")
        cls.server = subprocess.Popen(
            [os.environ["TAVIK_SERVER_PROGRAM"], "--demo", cls.disk, "--listen", "127.0.0.1",
             "--port", "0", "--quiet"], stderr=cls.log)
        cls.port = None
        deadline = time.monotonic() + 20
        while cls.port is None and time.monotonic() < deadline and cls.server.poll() is None:
            cls.log.seek(0)
            found = re.search(r"listening on 127\.0\.0\.1:(\d+)", cls.log.read())
            cls.port = int(found.group(1)) if found else None
            time.sleep(0.02)
        if cls.port is None:
            cls.tearDownClass()
            raise RuntimeError("tavik-server did not start")

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(timeout=20)
        cls.log.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def session(self, user="demo"):
        return tavik.Session("127.0.0.1", self.port, user, timeout=10)

    def local(self, name):
        return os.path.join(self.work, name)


class SessionTest(ServerFixture):
    def test_listdir_gives_names_sizes_dates_and_folders(self):
        with self.session() as disk:
            entries = {entry.name: entry for entry in disk.listdir("list")}
            inner = list(disk.listdir("/demo/list/폴더/"))
        self.assertEqual(set(entries), {"small.txt", "폴더"})
        self.assertEqual((entries["small.txt"].size, entries["small.txt"].is_dir), (12, False))
        self.assertTrue(entries["폴더"].is_dir)
        self.assertEqual(entries["small.txt"].path, "/demo/list/small.txt")
        stamp = os.stat(os.path.join(self.disk, "list", "small.txt")).st_mtime
        self.assertLess(abs(entries["small.txt"].mtime.timestamp() - stamp), 120)
        self.assertEqual([(e.name, e.size) for e in inner], [("inner.bin", 3000)])

    def test_upload_then_download_returns_the_same_bytes_with_progress(self):
        data = os.urandom(200_000)
        with open(self.local("up.bin"), "wb") as out:
            out.write(data)
        calls = []
        with self.session() as disk:
            disk.upload(self.local("up.bin"), "work/up.bin",
                        progress=lambda done, total: calls.append(("up", done, total)))
            disk.download("/demo/work/up.bin", self.local("down.bin"),
                          progress=lambda done, total: calls.append(("down", done, total)))
        with open(os.path.join(self.disk, "work", "up.bin"), "rb") as served:
            self.assertEqual(served.read(), data)
        with open(self.local("down.bin"), "rb") as back:
            self.assertEqual(back.read(), data)
        for kind in ("up", "down"):
            done = [d for k, d, t in calls if k == kind]
            self.assertTrue(done, kind)
            self.assertEqual(done, sorted(done), kind)
            self.assertEqual(done[-1], len(data), kind)
            self.assertTrue(all(t == len(data) for k, t in
                                ((k, t) for k, d, t in calls if k == kind)), kind)

    def test_a_progress_callback_returning_false_cancels(self):
        with open(os.path.join(self.disk, "work", "large.bin"), "wb") as out:
            out.truncate(8 * 1024 * 1024)
        seen = []

        def stop_at_once(done, total):
            seen.append(done)
            return False

        with self.session() as disk:
            with self.assertRaises(tavik.Cancelled):
                disk.download("work/large.bin", self.local("large.bin"), progress=stop_at_once)
            self.assertEqual(len(seen), 1)
            self.assertLess(os.path.getsize(self.local("large.bin")), 8 * 1024 * 1024)
            # The session logs in again by itself for the next call.
            self.assertIn("large.bin", [entry.name for entry in disk.listdir("work")])

    def test_an_exception_in_the_callback_stops_the_transfer_and_is_raised(self):
        def broken(done, total):
            raise KeyError("from the callback")

        with self.session() as disk, self.assertRaises(KeyError):
            disk.download("list/폴더/inner.bin", self.local("inner.bin"), progress=broken)

    def test_failures_raise_error_with_the_code_and_text(self):
        cases = [
            ("missing file", lambda disk: disk.download("none.txt", self.local("none.txt")),
             23006),
            ("missing folder", lambda disk: list(disk.listdir("없는 폴더")), 23006),
            ("missing local file", lambda disk: disk.upload(self.local("none.bin"), "x.bin"),
             None),
            ("closed session", lambda disk: (disk.close(), list(disk.listdir(""))), 24002),
        ]
        for label, action, code in cases:
            with self.subTest(label), self.session() as disk:
                if code is None:
                    with self.assertRaises(OSError):
                        action(disk)
                    continue
                with self.assertRaises(tavik.Error) as caught:
                    action(disk)
                self.assertEqual(caught.exception.code, code)
                self.assertTrue(caught.exception.text)

    def test_a_wrong_login_raises_error(self):
        with self.assertRaises(tavik.Error) as caught:
            self.session(user="nobody")
        self.assertEqual(caught.exception.code, 22001)
        with self.assertRaises(tavik.Error) as caught:
            tavik.Session("127.0.0.1", 0, "demo")
        self.assertEqual(caught.exception.code, 21002)

    def test_version_names_the_library_version_and_ipv6(self):
        number, features = tavik.version()
        self.assertRegex(number, r"^\d+\.\d+\.\d+$")
        self.assertIn("IPv6", features)


if __name__ == "__main__":
    unittest.main()

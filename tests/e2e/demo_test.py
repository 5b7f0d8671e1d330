#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""demo_test SIMULATED-VANTOREL: the boards that tests/e2e/demo boots start green. For
every supported board, the simulated build reading the demo's register image (images.conf,
the case closed) answers -N with OK, while the tests' own image of a W83793G board still has
the case open (CRITICAL), so that the bit stays tested."""
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))
import vmlib  # noqa: E402

PROGRAM = None


def plugin(image, product, tmp: Path):
    fixture, device = tmp / "fixture", tmp / "device"
    fixture.write_text(vmlib.sim_fixture("Supermicro", product, image))
    device.write_bytes(b"")
    return subprocess.run(["vantorel", "-f", str(device), "-N"], executable=PROGRAM,
                          env={"VANTOREL_SIM_FIXTURE": str(fixture)}, capture_output=True,
                          text=True, stdin=subprocess.DEVNULL, timeout=30)


class DemoBoard(unittest.TestCase):
    def setUp(self):
        self.cat = vmlib.load_catalogue()
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)

    def test_every_board_of_the_demo_is_ok(self):
        for product in self.cat.boards:
            with self.subTest(product=product):
                p = plugin(vmlib.demo_image(self.cat, product), product, Path(self.tmp.name))
                self.assertEqual((p.returncode, p.stdout.split(" - ")[0]),
                                 (0, "VANTOREL OK"), p.stdout + p.stderr)

    def test_the_tests_image_keeps_the_case_open(self):
        p = plugin(self.cat.images["w83793g"], "X7DBP", Path(self.tmp.name))
        self.assertEqual(p.returncode, 2, p.stdout + p.stderr)
        self.assertIn("the case has been opened", p.stdout)


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()

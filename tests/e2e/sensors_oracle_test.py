#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""Self-test of sensors_oracle on outputs kept from three guests (samples/): a random
register image of the X7DBP (w83793), the P8SC8 and the X6DVA (w83792d), each with the
configuration of `vantorel -S` installed, read by `sensors -j` and `vantorel -J -a`, and the
driver's attributes. The oracle accepts them as they are and finds each fault that a wrong
configuration or a wrong reading would make."""
import copy
import json
import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import sensors_oracle  # noqa: E402

X6DVA_DRIVERLESS = ("Sys Temp", "+1.5V", "+3.3V", "+3.3VSB", "+5V", "+12V", "-12V")


def sample(name):
    s = json.loads((HERE / "samples" / f"sensors-oracle-{name}.json").read_text())
    return json.loads(s["sensors"]), json.loads(s["vantorel"]), \
        sensors_oracle.attributes_of(s["attributes"])


BOARDS = {
    "x7dbp": dict(driver="w83793"),
    "p8sc8": dict(driver="w83792d", allowance={"in7": 0.018}),
    "x6dva": dict(driver="w83792d", driverless=X6DVA_DRIVERLESS),
}


def check(name, sensors=None, vantorel=None, attributes=None, **changes):
    s, v, a = sample(name)
    args = dict(BOARDS[name], attributes=a if attributes is None else attributes)
    args.update(changes)
    return sensors_oracle.check(s if sensors is None else sensors,
                                v if vantorel is None else vantorel, **args)


def chip(sensors):
    (key,) = [k for k in sensors if k.startswith("w8379")]
    return sensors[key]


class Agreement(unittest.TestCase):
    def test_each_guest_agrees(self):
        for name in BOARDS:
            with self.subTest(name):
                self.assertEqual(check(name), [])

    def test_the_limits_keep_their_roles(self):
        """libsensors computes each limit from its own attribute and vantorel keeps the chip's
        roles, never sorting them: a negative rail's compute turns the driver's max into the
        lower value, so its pair is compared turned, and limits swapped are a fault there as
        on any rail (the sample's -12V window is held inverted)."""
        s, v, a = sample("x7dbp")
        rail = chip(s)["-12V"]
        rail["in3_min"], rail["in3_max"] = rail["in3_max"], rail["in3_min"]
        problems = sensors_oracle.check(s, v, "w83793", attributes=a)
        self.assertTrue(any("'-12V'" in p for p in problems), problems)


class Faults(unittest.TestCase):
    def fault(self, name, edit, want, **changes):
        """EDIT(sensors, vantorel, attributes) makes a fault; a problem names WANT."""
        s, v, a = (copy.deepcopy(x) for x in sample(name))
        edit(s, v, a)
        problems = check(name, s, v, a, **changes)
        self.assertTrue(any(want in p for p in problems), problems)

    def test_a_missing_compute_shows_the_raw_value(self):
        def raw(s, v, a):
            rail = chip(s)["-12V"]
            rail["in3_input"] = round(rail["in3_input"] / -24, 3)
        self.fault("x7dbp", raw, "'-12V': sensors in3")

    def test_a_wrong_limit(self):
        def limit(s, v, a):
            chip(s)["+12V"]["in6_max"] += 0.096
        self.fault("x7dbp", limit, "'+12V': sensors limits")

    def test_a_reading_without_its_label(self):
        def unlabelled(s, v, a):
            chip(s)["fan1"] = chip(s).pop("FAN1")
        self.fault("x7dbp", unlabelled, "'FAN1': not in sensors")
        self.fault("x7dbp", unlabelled, "'fan1': not a reading of the board")

    def test_an_input_not_ignored(self):
        def shown(s, v, a):
            chip(s)["fan12"] = {"fan12_input": 0.0, "fan12_min": 0.0, "fan12_alarm": 0.0}
        self.fault("x7dbp", shown, "'fan12': not a reading of the board")

    def test_a_label_twice(self):
        s, v, _ = sample("x7dbp")
        text = json.dumps(s).replace('"FAN2": {', '"FAN1": {"fan9_input": 1.0}, "FAN2": {', 1)
        problems = sensors_oracle.check(text, v, "w83793")
        self.assertTrue(any("appears twice" in p for p in problems), problems)

    def test_an_alarm_flipped(self):
        def flipped(s, v, a):
            v["fan_alarms"]["FAN3"] = not v["fan_alarms"]["FAN3"]
        self.fault("x7dbp", flipped, "'FAN3': sensors alarm")

    def test_a_case_open_bit_flipped(self):
        def flipped(s, v, a):
            v["intrusion"] = not v["intrusion"]
        self.fault("p8sc8", flipped, "Chassis intrusion")

    def test_a_whole_degree_off(self):
        def off(s, v, a):
            for label, value in v["temps"].items():
                degrees = chip(s)[label][[k for k in chip(s)[label] if k.endswith("_input")][0]]
                if 0 <= degrees < 128:
                    v["temps"][label] = f"{int(value.split()[0]) + 1} C"
                    return
            raise AssertionError("no temperature in range in the sample")
        self.fault("x7dbp", off, "sensors temp")

    def test_a_warning_level_against_the_drivers_attribute(self):
        def warn(s, v, a):
            for label, limits in v["temp_limits"].items():
                n = chip(s)[label]
                feat = [k for k in n if k.endswith("_input")][0][:-len("_input")]
                level = int(a[f"{feat}_warn"]) / 1000
                if 0 <= level < 128:
                    a[f"{feat}_warn"] = str(int(a[f"{feat}_warn"]) + 1000)
                    return
            raise AssertionError("no warning level in range in the sample")
        self.fault("x7dbp", warn, "warn")

    def test_the_5vsb_allowance_is_needed_and_bounded(self):
        """The P8SC8's 5VSB differs by the low bits vantorel leaves out; no more is let by."""
        self.assertTrue(any("'5VSB'" in p for p in check("p8sc8", allowance={})))

        def more(s, v, a):
            chip(s)["5VSB"]["in7_input"] += 0.006
        self.fault("p8sc8", more, "'5VSB'")

    def test_a_driverless_reading_in_sensors(self):
        def there(s, v, a):
            chip(s)["+5V"] = {"in5_input": 5.0}
        self.fault("x6dva", there, "'+5V': from a chip without a driver")

    def test_the_chip_must_be_there_once(self):
        s, v, _ = sample("p8sc8")
        self.assertTrue(sensors_oracle.check(s, v, "w83793"))


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=1).result
    failed = len(result.failures) + len(result.errors)
    print(f"{result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)

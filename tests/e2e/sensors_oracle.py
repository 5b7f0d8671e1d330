# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""lm-sensors as an oracle of `vantorel -S`.

With the configuration that `vantorel -S` writes in /etc/sensors.d/ and the kernel's driver
bound to the board's chip, `sensors -j` must show every reading of that chip as `vantorel -J
-a` shows it: under the board's label, once; its value at vantorel's precision; its limits
as a pair (a negative rail's compute makes libsensors call the chip's low limit "max"); its
alarm; and no other input of the driver. libsensors knows no warning level, so a W83793G
temperature's warning level and its hysteresis are checked against the driver's own
tempN_warn and tempN_warn_hyst attributes instead.

What libsensors cannot compute, and the configuration says so in a comment, is left out or
allowed for: a temperature is compared while the driver's value lies in 0 to 127 degrees (vantorel
shows a reading in whole degrees, clamped at 0 or as the register's 0 to 255 outside that;
a limit exactly as the driver does, with its half degree);
a fan the driver shows as -1 (a count of 0 on the W83792D) is vantorel's 0; and ALLOWANCE
maps an input of the driver's to how much more than vantorel's value sensors may show (the
W83792D's in7, whose low two bits vantorel leaves out: 0.018 V), whatever the board calls it.

check() is called with the guest's outputs: drivers.py's lmsensors_boot, for every board
in two register images with the kernel's driver holding the chip (guest/drivers.sh,
lmsensors_board), and the self-test, sensors_oracle_test.py, on outputs kept from such
guests.
"""
import json
import math
import re

# A feature of the driver's, by its subfeatures: inN_input, tempN_max, fanN_alarm ...
INPUT_SUBFEATURE = re.compile(r"^(in\d+|temp\d+|fan\d+|intrusion\d+|cpu\d+_vid)(_|$)")
UNIT = {"temps": "C", "fans": "RPM", "voltages": "V"}
PREFIX = {"temps": "temp", "fans": "fan", "voltages": "in"}
LIMITS = {"temps": "temp_limits", "fans": "fan_limits", "voltages": "voltage_limits"}
ALARMS = {"temps": "temp_alarms", "fans": "fan_alarms", "voltages": "voltage_alarms"}
VOLT = 0.0005 + 1e-9  # half of vantorel's last decimal


def _unique(pairs):
    """A JSON object that names no key twice."""
    seen = {}
    for key, value in pairs:
        if key in seen:
            raise ValueError(f"{key!r} appears twice")
        seen[key] = value
    return seen


def _load(text):
    return json.loads(text, object_pairs_hook=_unique) if isinstance(text, str) else text


def _number(text, unit):
    """The number of a vantorel value string, "12.000 V"."""
    value, got = text.split(" ")
    if got != unit:
        raise ValueError(f"{text!r} is not in {unit}")
    return float(value)


def _in_range(degrees):
    """A temperature both sides show alike: the driver's 0 to 127 degrees."""
    return 0 <= degrees < 128


def check(sensors_json, vantorel_json, driver, address=0x2f, attributes=None,
          driverless=(), allowance=None):
    """The problems found, as a list of strings (empty: sensors agrees with vantorel).

    SENSORS_JSON: `sensors -j` (text or parsed); VANTOREL_JSON: `vantorel -J -a`; DRIVER
    and ADDRESS name the chip ("w83793", 0x2f); ATTRIBUTES: the driver's attributes
    {name: text}, for the warning levels; DRIVERLESS: labels of readings from a chip that no
    driver serves; ALLOWANCE: {driver's input (in7): volts that sensors may show above
    vantorel}."""
    problems = []
    try:
        sensors, board = _load(sensors_json), _load(vantorel_json)
    except ValueError as e:
        return [f"not one JSON object with unique keys: {e}"]
    allowance = allowance or {}
    attributes = attributes or {}
    name = re.compile(rf"^{re.escape(driver)}-i2c-\d+-{address:02x}$")
    chips = [key for key in sensors if name.match(key)]
    if len(chips) != 1:
        return [f"sensors shows {len(chips)} chips named {driver}-i2c-*-{address:02x}: "
                f"{sorted(sensors)}"]
    chip = sensors[chips[0]]
    shown = set()

    def feature(kind, label):
        """The subfeatures of LABEL's feature, and its driver name (in3, temp1, fan2)."""
        features = chip.get(label)
        if not isinstance(features, dict):
            problems.append(f"{label!r}: not in sensors' {chips[0]}")
            return None, None
        inputs = [k[:-len("_input")] for k in features if k.endswith("_input")]
        if len(inputs) != 1 or not inputs[0].startswith(PREFIX[kind]):
            problems.append(f"{label!r}: sensors shows {sorted(features)}, no {PREFIX[kind]}N")
            return None, None
        shown.add(label)
        return features, inputs[0]

    for kind, unit in UNIT.items():
        for label, text in board.get(kind, {}).items():
            if label in driverless:
                if label in chip:
                    problems.append(f"{label!r}: from a chip without a driver, yet in sensors")
                continue
            features, feat = feature(kind, label)
            if features is None:
                continue
            mine, theirs = _number(text, unit), features[f"{feat}_input"]
            limits = board.get(LIMITS[kind], {}).get(label, {})
            alarm = board.get(ALARMS[kind], {}).get(label)
            if kind == "voltages":
                extra = allowance.get(feat, 0)
                if not -VOLT <= theirs - mine <= extra + VOLT:
                    problems.append(f"{label!r}: sensors {feat} {theirs:.3f} V, vantorel {text}")
                if "min" in limits or f"{feat}_min" in features:
                    # libsensors computes each limit by its role, as vantorel keeps them, but
                    # a rail whose conversion turns the scale around (negative, to the sign of
                    # its zero) shows the driver's high limit as its lower value, vantorel's min.
                    pair = [features.get(f"{feat}_min", math.nan),
                            features.get(f"{feat}_max", math.nan)]
                    if math.copysign(1.0, mine) < 0:
                        pair.reverse()
                    want = (_number(limits.get("min", "nan V"), "V"),
                            _number(limits.get("max", "nan V"), "V"))
                    if not all(-VOLT <= t - m <= extra + VOLT for t, m in zip(pair, want)):
                        problems.append(f"{label!r}: sensors limits {pair}, vantorel {want}")
            elif kind == "temps":
                if _in_range(theirs) and math.floor(theirs) != mine:
                    problems.append(f"{label!r}: sensors {feat} {theirs}, vantorel {text}")
                n = feat[len("temp"):]
                levels = {"max": features.get(f"{feat}_max"),
                          "max_hyst": features.get(f"{feat}_max_hyst")}
                for level in ("warn", "warn_hyst"):
                    attr = attributes.get(f"temp{n}_{level}")
                    levels[level] = None if attr is None else int(attr) / 1000
                for level, value in levels.items():
                    if value is None:
                        if level in limits:
                            problems.append(f"{label!r}: vantorel {level} {limits[level]}, "
                                            "the driver none")
                    elif _in_range(value):
                        if level not in limits or \
                                _number(limits[level], "C") != value:
                            problems.append(f"{label!r}: {level} {value} C, vantorel "
                                            f"{limits.get(level)}")
            else:
                if theirs != mine and not (theirs == -1 and mine == 0):
                    problems.append(f"{label!r}: sensors {feat} {theirs}, vantorel {text}")
                least = features.get(f"{feat}_min")
                if "min" in limits:
                    if least != _number(limits["min"], "RPM"):
                        problems.append(f"{label!r}: sensors min {least}, vantorel "
                                        f"{limits['min']}")
                elif least not in (None, 0, -1):
                    problems.append(f"{label!r}: sensors min {least}, vantorel none")
            their_alarm = features.get(f"{feat}_alarm")
            if alarm is None:
                if their_alarm is not None:
                    problems.append(f"{label!r}: sensors alarm {their_alarm}, vantorel none")
            elif their_alarm is None or bool(their_alarm) != alarm:
                problems.append(f"{label!r}: sensors alarm {their_alarm}, vantorel {alarm}")

    # The case-open bit, under the -a forms' name.
    if "intrusion" in board:
        features = chip.get("Chassis intrusion", {})
        shown.add("Chassis intrusion")
        if bool(features.get("intrusion0_alarm")) != board["intrusion"] or \
                "intrusion0_alarm" not in features:
            problems.append(f"Chassis intrusion: sensors {features}, vantorel "
                            f"{board['intrusion']}")

    # Every other feature that is an input of the driver's is ignored.
    for label, features in chip.items():
        if label in shown or not isinstance(features, dict):
            continue
        inputs = sorted(k for k in features if INPUT_SUBFEATURE.match(k))
        if inputs:
            problems.append(f"{label!r}: not a reading of the board, yet sensors shows {inputs}")
    return problems


def attributes_of(dump):
    """{name: value} of NAME VALUE lines."""
    return dict(line.split(None, 1) for line in dump.splitlines() if " " in line)

# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

"""What the Prometheus checks share: every supported board's fixture for the simulated
build (the register images of tests/e2e/images.conf), runs of that build, and a strict
reader of the text exposition format that vantorel writes and node_exporter serves."""

import json
import os
import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
import vmlib  # noqa: E402

MAKER = "Supermicro"
# The families of a report, in their order.
FAMILIES = ["vantorel_board_info", "vantorel_temperature_celsius", "vantorel_fan_rpm",
            "vantorel_voltage_volts", "vantorel_up"]
# The reading families and the -J section and unit each one comes from.
READINGS = {"vantorel_temperature_celsius": ("temps", "C"), "vantorel_fan_rpm": ("fans", "RPM"),
            "vantorel_voltage_volts": ("voltages", "V")}


def board_fixtures():
    """{product: fixture text} of every supported board, with its arrangement's image."""
    cat = vmlib.load_catalogue()
    return {product: vmlib.sim_fixture(MAKER, product, cat.images[arrangement])
            for product, arrangement in cat.boards.items()}


def failing(fixture: str) -> str:
    """FIXTURE with the board's chip at 0x2f failing every transaction on register 0x20, which
    every chip handling reads."""
    return fixture + "failreg 0x2f 0x20\n"


class Sim:
    """The simulated build over fixtures written to DIR; the device is a file there."""

    def __init__(self, program: str, tmp: Path):
        self.program, self.tmp = program, tmp
        self.device = tmp / "device"
        self.device.write_bytes(b"")
        self.fixture = tmp / "fixture"

    def run(self, fixture: str, *args) -> subprocess.CompletedProcess:
        self.fixture.write_text(fixture)
        env = dict(os.environ, VANTOREL_SIM_FIXTURE=str(self.fixture))
        return subprocess.run(["vantorel", "-f", str(self.device), *args],
                              executable=self.program, env=env, capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=30)

    def json_values(self, fixture: str):
        """{family: {sensor: number}} of the -J report."""
        p = self.run(fixture, "-J")
        if p.returncode != 0:
            raise RuntimeError(f"-J: status {p.returncode}: {p.stderr}")
        report = json.loads(p.stdout)
        out = {}
        for family, (section, unit) in READINGS.items():
            values = {}
            for sensor, text in report[section].items():
                number, got_unit = text.split(" ")
                assert got_unit == unit, text
                values[sensor] = float(number)
            out[family] = values
        return out


@dataclass
class Sample:
    name: str
    labels: dict
    value: float


LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"')
SAMPLE = re.compile(r"([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)")
UNESCAPE = {"\\\\": "\\", '\\"': '"', "\\n": "\n"}


def parse(text: str):
    """The samples of an exposition, and the problems of its form: a line that is none of
    HELP, TYPE and sample; a family without exactly one HELP and one TYPE ahead of its
    samples, or whose samples are not together; a series (name and labels) given twice."""
    problems, samples = [], []
    help_, type_, seen_series, finished = {}, {}, set(), set()
    current = None
    if text and not text.endswith("\n"):
        problems.append("the last line has no line end")
    for n, line in enumerate(text.splitlines(), start=1):
        m = re.fullmatch(r"# (HELP|TYPE) (\S+) (.*)", line)
        if m:
            kind, name, rest = m.groups()
            seen = help_ if kind == "HELP" else type_
            if name in seen or name in finished:
                problems.append(f"line {n}: a second {kind} for {name}")
            seen[name] = rest
            if kind == "TYPE" and rest not in ("gauge", "counter", "untyped"):
                problems.append(f"line {n}: type {rest}")
            if current != name:
                if current is not None:
                    finished.add(current)
                current = name
            continue
        m = SAMPLE.fullmatch(line)
        if not m:
            problems.append(f"line {n}: not a sample: {line!r}")
            continue
        name, label_text, value = m.groups()
        labels = {}
        if label_text:
            pos = 0
            while pos < len(label_text):
                lm = LABEL.match(label_text, pos)
                if not lm:
                    problems.append(f"line {n}: bad labels {label_text!r}")
                    break
                labels[lm.group(1)] = re.sub(r'\\[\\"n]', lambda e: UNESCAPE[e.group(0)],
                                             lm.group(2))
                pos = lm.end()
                if pos < len(label_text):
                    if label_text[pos] != ",":
                        problems.append(f"line {n}: bad labels {label_text!r}")
                        break
                    pos += 1
        if name != current or name in finished:
            problems.append(f"line {n}: {name} sample apart from its family's lines")
        if name not in help_ or name not in type_:
            problems.append(f"line {n}: {name} sample without HELP and TYPE before it")
        series = (name, tuple(sorted(labels.items())))
        if series in seen_series:
            problems.append(f"line {n}: series {name}{labels} repeats")
        seen_series.add(series)
        try:
            samples.append(Sample(name, labels, float(value)))
        except ValueError:
            problems.append(f"line {n}: value {value!r}")
    return samples, problems


def families(samples, prefix="vantorel_"):
    """The names of PREFIX's families in the order of their first samples."""
    out = []
    for s in samples:
        if s.name.startswith(prefix) and s.name not in out:
            out.append(s.name)
    return out


def readings(samples):
    """{family: {sensor: value}} of the reading families."""
    out = {family: {} for family in READINGS}
    for s in samples:
        if s.name in READINGS:
            out[s.name][s.labels.get("sensor")] = s.value
    return out

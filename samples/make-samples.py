#!/usr/bin/env python3
"""Writes the sample logs of this folder: instrument verification runs in the compact
format of the DOS test program, each with its test status file.

    scope-pass.log / .tst      every test passed
    scope-fail.log / .tst      two tests failed, one not applicable
    RUN7.LOG / RUN7.TST        upper-case names as DOS media carry them
    meter-corrupt.log / .tst   a status file holding a value other than -1, 0, 1
    probe-nostatus.log         no status file at all

Run it again to make the same files (the generator is deterministic).
"""
import os
import random

# Tokens of the compact line format.
SPACES = b"\x01"           # followed by a count character: code - 30 spaces
VSCALE = b"\x02"           # "VERTICAL SCALE"
DASH = b"\x03"             # " - "
MEASURED = b"\x04"         # "MEASURED"
MV = b"\x05"               # " mV"
UV = b"\x06"               # " uV" with the micro sign
DIV = b"\x07"              # "div"
MHZ = b"\x08"              # " MHz"
LIMIT = b"\x0e"            # "LIMIT"
PASS = b"\x0f"             # "PASS"
FAIL = b"\x10"             # "FAIL"

# Characters the DOS code page wrote for plus-minus, less-or-equal and micro;
# the viewer repairs them on reading.
DOS_PLUSMINUS = b"\xf1"
DOS_LESSEQ = b"\xf3"
DOS_MICRO = b"\xe6"


def pad(n):
    """A run of n spaces (0 to 225) in the compact form."""
    assert 0 <= n <= 225
    return SPACES + bytes([n + 30])


def column(text, width):
    """text followed by the spaces that fill it out to width characters."""
    raw = text.encode("cp1252") if isinstance(text, str) else text
    return raw + pad(max(width - len(raw), 0))


class Run:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.lines = []
        self.status = []

    def line(self, raw=b""):
        self.lines.append(raw)

    def header(self, instrument, serial, operator):
        self.line(b"")
        self.line(b"")  # the test program starts its logs with empty lines
        self.line(column("VRX VERIFICATION LOG", 30) + b"Instrument: " + instrument.encode())
        self.line(column("Serial: " + serial, 30) + b"Operator: " + operator.encode())
        self.line(column("Date: 14-03-2024", 30) + b"Ambient: 23" + DOS_PLUSMINUS + b"2 C")
        self.line(pad(0) + b"=" * 70)
        self.line()

    def vertical_scale(self, channel, volts_per_div, nominal_mv, tol_pct, outcome):
        tol = nominal_mv * tol_pct / 100.0
        if outcome == 1:
            measured = nominal_mv + self.rng.uniform(-tol * 0.8, tol * 0.8)
        elif outcome == -1:
            measured = nominal_mv + tol * self.rng.uniform(1.2, 2.0)
        else:
            measured = None
        word = {1: PASS, -1: FAIL, 0: b"N/A"}[outcome]
        name = "CH%d %s/" % (channel, volts_per_div)
        limit = ("%.1f" % nominal_mv).encode() + b" " + DOS_PLUSMINUS + ("%.1f" % tol).encode()
        self.line(VSCALE + DASH + name.encode() + DIV + pad(13 - len(name))
                  + MEASURED + pad(1)
                  + (("%8.2f" % measured).encode() + MV if measured is not None else b"     ---   ") + pad(2)
                  + LIMIT + pad(1) + limit + MV + pad(max(1, 17 - len(limit))) + word)
        self.status.append(outcome)

    def noise(self, channel, limit_uv, outcome):
        value = limit_uv * (self.rng.uniform(0.3, 0.9) if outcome == 1 else self.rng.uniform(1.1, 1.6))
        word = PASS if outcome == 1 else FAIL
        self.line(b"NOISE CH%d" % channel + pad(8) + MEASURED + pad(1) + (b"%6.1f" % value) + UV
                  + pad(3) + LIMIT + b" " + DOS_LESSEQ + b" " + (b"%.0f" % limit_uv) + UV + pad(5) + word)
        self.status.append(outcome)

    def bandwidth(self, mhz, outcome):
        value = mhz * (self.rng.uniform(1.02, 1.2) if outcome == 1 else self.rng.uniform(0.7, 0.95))
        word = PASS if outcome == 1 else FAIL
        self.line(b"BANDWIDTH -3dB" + pad(2) + MEASURED + pad(1) + (b"%7.1f" % value) + MHZ
                  + pad(3) + LIMIT + b" > " + (b"%d" % mhz) + MHZ + pad(6) + word)
        self.status.append(outcome)

    def footer(self):
        self.line()
        passed = self.status.count(1)
        failed = self.status.count(-1)
        na = self.status.count(0)
        self.line(pad(0) + b"-" * 70)
        self.line(column("TOTAL", 10) + b"%d" % passed + b" " + PASS + DASH
                  + b"%d" % failed + b" " + FAIL + DASH + b"%d N/A" % na)
        self.line(b"Probe compensation checked at 1 kHz, 0.5 V " + DOS_PLUSMINUS + b" 1%")
        self.line(b"Spacing check:" + b"".join(pad(n) + b"|" for n in (0, 1, 2, 3, 5, 8, 13, 21, 34)))
        self.line(b"Wide field:" + pad(80) + b"end" + pad(225) + b"|")
        self.line(b"Offset " + DOS_MICRO + b"V reference " + DOS_LESSEQ + b" 50" + UV)

    def write(self, folder, log_name, status_name=None, status_text=None, crlf=b"\r\n"):
        with open(os.path.join(folder, log_name), "wb") as f:
            f.write(crlf.join(self.lines) + crlf)
        if status_name is None:
            return
        if status_text is None:
            status_text = "".join("%d\r\n" % v for v in self.status)
        with open(os.path.join(folder, status_name), "wb") as f:
            f.write(status_text.encode("ascii"))


def scope_run(seed, instrument, serial, outcomes):
    run = Run(seed)
    run.header(instrument, serial, "D. Levi")
    ranges = ["1mV", "2mV", "5mV", "10mV", "20mV", "50mV", "0.1V", "0.2V", "0.5V", "1V", "2V", "5V"]
    nominal = [5, 10, 25, 50, 100, 250, 500, 1000, 2500, 5000, 10000, 25000]
    k = 0
    for channel in (1, 2):
        for r, n in zip(ranges, nominal):
            run.vertical_scale(channel, r, n, 3, outcomes[k % len(outcomes)])
            k += 1
        run.line()
    for channel in (1, 2):
        run.noise(channel, 250, outcomes[k % len(outcomes)])
        k += 1
    run.bandwidth(100, outcomes[k % len(outcomes)])
    run.footer()
    return run


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    scope_run(1, "VRX-2100 Oscilloscope", "A11842", [1]).write(here, "scope-pass.log", "scope-pass.tst")
    scope_run(2, "VRX-2100 Oscilloscope", "A11907", [1, 1, 1, 1, 1, 1, 1, -1, 1, 0, 1, 1, 1, -1, 1]).write(
        here, "scope-fail.log", "scope-fail.tst")
    # The status file writes some values on one line, separated by commas.
    run = scope_run(3, "VRX-1500 Oscilloscope", "B00377", [1, 1, 0, 1])
    text = ",".join("%d" % v for v in run.status[:8]) + "\r\n" + "".join("%d\r\n" % v for v in run.status[8:])
    run.write(here, "RUN7.LOG", "RUN7.TST", status_text=text)
    run = scope_run(4, "VRX-300 Multimeter", "M20511", [1, 1, -1])
    bad = "".join("%d\r\n" % v for v in run.status[:5]) + "2\r\n" + "1\r\n"
    run.write(here, "meter-corrupt.log", "meter-corrupt.tst", status_text=bad)
    scope_run(5, "VRX-40 Probe Tester", "P09001", [1]).write(here, "probe-nostatus.log")


if __name__ == "__main__":
    main()

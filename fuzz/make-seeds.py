#!/usr/bin/env python3
"""Writes the committed seed corpora of the fuzz targets (corpus/<target>/): the sample logs
and status files of samples/, their single lines, and small hand-made cases at the edges of
each format. Deterministic; run it again after changing the cases."""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")
TITLE = b"View & Print VRX Log Files"

# Log lines: tokens, runs of spaces, the 32767 limits.
RUN = lambda n: b"\x01" + bytes([n + 30])
convert = {
    "empty": b"",
    "plain": b"CH1 2 mV/div OK",
    "every-token": bytes([2, 3, 4, 5, 6, 7, 8, 14, 15, 16]),
    "run-zero": RUN(0),
    "run-80": b"\x01n",
    "run-largest": b"\x01\xff",
    "run-at-end": b"abc\x01",
    "run-count-is-token": b"\x01\x02",
    "run-count-29": b"\x01\x1d",
    "adjacent-words": b"\x0f\x10\x0f\x10",
    "crlf-in-front": b"\r\n\x02\x01#5\x05",
    "no-tokens-controls": b"\t\r\n\x0b\x0c\x00\x11\x1f\x7f\xff",
    "worked-example": b"\x02\x01#5\x05",
    # Runs of 225 spaces reach the limit: 145 runs make 32625 characters.
    "near-limit-run": RUN(225) * 145 + RUN(141) + b"\x01\x20",
    "over-limit-run": RUN(225) * 146 + b"\x01\x20",
    "near-limit-word": RUN(225) * 145 + RUN(139) + b"ab\x02",
    "word-order-limit": RUN(225) * 145 + RUN(130) + b"\x10\x02\x02\x0f",
}

logs = {
    "empty": b"",
    "one-cr": b"\r",
    "one-crlf": b"\r\n",
    "lf-only": b"\n\n",
    "mixed-ends": b"a\r\nb\rc\nd\r\r\ne",
    "leading-empty": b"\r\n\r\nthird\r\nfourth",
    "leading-vanishing": b"\x01\x1e\r\nshown\r\n\x01\x1e\r\nlast",
    "dos-repairs": b"\xf1 \xf3 \xe6 \x01\xf1\r\n",
    "bad-run-line-2": b"ok\r\n\x01\r\nnever",
    "cr-at-end": b"line\r",
    "pad-repair-limit": b"\0\0PAD\x43\xf1\r\nnext",
    "pad-repair-ok": b"\0\0PAD\x42\xf1\r\nnext",
    "pad-convert-limit": b"\0\0PAD\x40\x02\r\nnext",
    "pad-second-line": b"\0\0PAD\x60\r\n\x02",
}

statuses = {
    "empty": b"",
    "one-pass": b"1",
    "example": b"1\r\n-1\r\n0\r\n1\r\n",
    "commas": b"1,-1,0,1,",
    "blanks": b" 1 ,\t-1\t, +0 \r\n\r\n,,1",
    "zeros": b"0001,-01,+001,000",
    "bad-2": b"1,2",
    "huge": b"99999999999",
    "not-a-number": b"1,x,0",
    "blank-run": b" " * 100 + b"1",
    "ctrl-z": b"1\r\n0\r\n\x1a",
    "repeat-40000": b"\0REP\xc81,",
    "repeat-limit": b"\0REP\xa4" + b"0\r\n",
}

versions = {
    "empty": b"",
    "entry": TITLE + b":1.4\r\n",
    "lower-entry": TITLE.lower() + b":1.4\r\n",
    "blank-version": TITLE + b": 1.3\r\n",
    "older": TITLE + b": 1.10\r\n",
    "bare-title-first": TITLE + b"\r\n" + TITLE + b":2.0\r\n",
    "colon-last": TITLE + b" 2:\r\n",
    "two-on-a-line": b"Other Program:2.0," + TITLE + b":1.4\n",
    "quoted": b'"Other, Program:2.0" ,"' + TITLE + b':1.5" tail,x\r\n',
    "unclosed-quote": b'"' + TITLE + b":1.9",
    "exponent": TITLE + b":1e400\n",
    "exponent-negative-huge": TITLE + b":1" + b"0" * 400 + b"e-5\n",
    "tiny": TITLE + b":1e-400\n",
    "utf8": "View & Print VRX Log Files:1.4 \u00b5\n".encode(),
    "latin1": TITLE + b":\xb51.4\n",
    "no-entry": b"Something else:9.9\r\n",
}


def write(folder, cases):
    path = os.path.join(HERE, "corpus", folder)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    for name, data in cases.items():
        with open(os.path.join(path, name), "wb") as f:
            f.write(data)


def sample_files(extensions):
    for name in sorted(os.listdir(SAMPLES)):
        if os.path.splitext(name)[1].lower() in extensions:
            with open(os.path.join(SAMPLES, name), "rb") as f:
                yield name, f.read()


for name, data in sample_files({".log"}):
    logs["sample-" + name] = data
    for i, line in enumerate(data.replace(b"\r\n", b"\r").split(b"\r")):
        if line:
            convert["sample-%s-%d" % (name, i + 1)] = line
for name, data in sample_files({".tst"}):
    statuses["sample-" + name] = data

write("convert", convert)
write("log_reader", logs)
write("status_reader", statuses)
write("version_reader", versions)

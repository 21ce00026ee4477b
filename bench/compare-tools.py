#!/usr/bin/env python3
"""vrxlog against the general tools on the same generated data, measured in one run:

  vrxlog text  vs  iconv -f WINDOWS-1252 -t UTF-8      on a 100 MB log
  vrxlog pdf   vs  enscript | ps2pdf                    on a 100,000-line (2,084-page) log

Prints each tool's wall time (best of a few runs) and peak memory, and the ratios.
Usage: compare-tools.py BUILD_DIR
"""
import glob
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "samples")


def sample_lines():
    lines = []
    for path in sorted(glob.glob(os.path.join(SAMPLES, "*.log")) + glob.glob(os.path.join(SAMPLES, "*.LOG"))):
        with open(path, "rb") as f:
            lines += [l for l in f.read().split(b"\r\n") if l]
    return lines


def make_log(path, size=None, lines=None):
    """Writes the sample lines over and over, each ended by CR LF, until the file holds `lines`
    lines or at least `size` bytes; returns the number of lines. Written a round of the samples
    at a time, so that a log of a gigabyte takes seconds, not minutes."""
    pool = [line + b"\r\n" for line in sample_lines()]
    round_bytes = b"".join(pool)
    n = written = 0
    with open(path, "wb") as f:
        def more():
            return (size is not None and written < size) or (lines is not None and n < lines)
        # Whole rounds while a whole round is still wanted, then line by line.
        rounds = []
        while more():
            whole = ((lines is None or n + len(pool) <= lines)
                     and (size is None or written + len(round_bytes) <= size))
            if not whole or n % len(pool) != 0:
                break
            rounds.append(round_bytes)
            n += len(pool)
            written += len(round_bytes)
            if len(rounds) == 64:
                f.write(b"".join(rounds))
                rounds = []
        f.write(b"".join(rounds))
        while more():
            line = pool[n % len(pool)]
            f.write(line)
            n += 1
            written += len(line)
    return n


def run_pipeline(commands, stdout_path):
    """Runs commands connected by pipes; returns the wall time and the summed peak memory
    (MiB) of the processes, which run at the same time. Peak memory comes from GNU time, as
    the rusage of a child forked from this script would count the script's own memory."""
    start = time.perf_counter()
    procs = []
    peaks = []
    with open(stdout_path, "wb") as out:
        stdin = None
        for i, command in enumerate(commands):
            last = i == len(commands) - 1
            peak = tempfile.NamedTemporaryFile(prefix="peak-", delete=False)
            peak.close()
            peaks.append(peak.name)
            p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name] + command,
                                 stdin=stdin, stdout=out if last else subprocess.PIPE)
            if stdin is not None:
                stdin.close()
            stdin = p.stdout
            procs.append(p)
        for p in procs:
            if p.wait() != 0:
                raise SystemExit("%s failed with %d" % (p.args[5], p.returncode))
    elapsed = time.perf_counter() - start
    peak_kib = 0
    for name in peaks:
        with open(name) as f:
            peak_kib += int(f.read().split()[-1])
        os.unlink(name)
    return elapsed, peak_kib / 1024.0


def measure(commands, stdout_path, repeats=3):
    """Best wall time of a few runs, and the largest peak memory seen (MiB)."""
    best, peak = None, 0.0
    for _ in range(repeats):
        elapsed, mem = run_pipeline(commands, stdout_path)
        best = elapsed if best is None else min(best, elapsed)
        peak = max(peak, mem)
    return best, peak


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    vrxlog = os.path.join(build, "cli", "vrxlog")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    os.environ.update(env)
    with tempfile.TemporaryDirectory() as tmp:
        big = os.path.join(tmp, "big.log")
        make_log(big, size=100 * 1000 * 1000)
        print("text: %.0f MB log" % (os.path.getsize(big) / 1e6))
        t_iconv, m_iconv = measure([["iconv", "-f", "WINDOWS-1252", "-t", "UTF-8", big]], os.path.join(tmp, "iconv.txt"))
        t_vrx, m_vrx = measure([[vrxlog, "text", big]], os.path.join(tmp, "vrxlog.txt"))
        print("  iconv        %6.3f s  %7.1f MiB" % (t_iconv, m_iconv))
        print("  vrxlog text  %6.3f s  %7.1f MiB" % (t_vrx, m_vrx))
        print("  ratio vrxlog text / iconv = %.2f (target <= 1.0)" % (t_vrx / t_iconv))

        lines = 100000
        pages = (lines + 47) // 48
        log = os.path.join(tmp, "pages.log")
        make_log(log, lines=lines)
        text = os.path.join(tmp, "pages.txt")
        subprocess.run([vrxlog, "text", "-o", text, log], check=True)
        print("pdf: %d lines, %d pages" % (lines, pages))
        t_ens, m_ens = measure([["enscript", "-q", "-B", "-f", "Courier10", "-L", "48", "-p", "-", text],
                               ["ps2pdf", "-", os.path.join(tmp, "ens.pdf")]], os.devnull, repeats=1)
        t_pdf, m_pdf = measure([[vrxlog, "pdf", "-o", os.path.join(tmp, "vrx.pdf"), log]], os.devnull)
        size = lambda name: os.path.getsize(os.path.join(tmp, name)) / 1e6
        print("  enscript|ps2pdf %6.3f s  %7.1f MiB  %6.0f pages/s  %5.1f MB file"
              % (t_ens, m_ens, pages / t_ens, size("ens.pdf")))
        print("  vrxlog pdf      %6.3f s  %7.1f MiB  %6.0f pages/s  %5.1f MB file (target < 1 s for the %d pages, >= %d pages/s)"
              % (t_pdf, m_pdf, pages / t_pdf, size("vrx.pdf"), pages, pages))
        print("  ratio vrxlog pdf / (enscript|ps2pdf) = %.2f (target < 1)" % (t_pdf / t_ens))

if __name__ == "__main__":
    main()

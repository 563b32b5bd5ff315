#!/usr/bin/env python3
"""Times full runs of two brevox binaries side by side and checks that they write the same bytes.

    python3 bench/full_runs.py --new build-bench/brevox --old build-bench/reference/brevox

Runs, each in a fresh folder, with wall time (median of several runs, one after the other) and the
peak resident memory of each run:

- `brevox -D` on the built-in data (median of 9);
- a data set of 30 works x 5 criteria with totals up to 5,000 and all tests (median of 3), the
  new binary once with BREVOX_THREADS unset and once with BREVOX_THREADS=1;
- the new binary on 60 works x 10 criteria with totals up to 5,000 (the old one takes minutes; with
  --slow it runs too);
- `brevox -DE` and `brevox -DH` against `brevox -D`, new binary, where the option exists;
- the runs at scale, each once with each binary, side by side with the CPU time (user and system)
  and the peak memory of each: 60 works x 10 criteria with -S on one thread, with every report
  (in a folder on tmpfs where /dev/shm is there) and with -FS; 200 works x 20 criteria with -SEH
  on two threads; 400 works x 5 criteria with -SE on one thread.

Every run of the old and the new binary on the same arguments is compared file by file, with the
console trace, and the files that differ are counted (the faults the new binary mends change some
of them: bench/compare_outputs.sh shows which); the new binary on one thread and on every core
must write the same bytes, or the script exits 1.
--quick runs fewer repeats and leaves the runs at scale out.
"""

import argparse
import filecmp
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run_once(binary, arguments, folder, environment, cpu=False):
    """Runs the binary in `folder`; returns (seconds, peak RSS in MiB, stdout, exit code): wall
    seconds, or with `cpu` the CPU seconds of user and system."""
    with tempfile.TemporaryFile() as out:
        start = time.perf_counter()
        process = subprocess.Popen([binary] + arguments, cwd=folder, stdout=out,
                                   stderr=subprocess.DEVNULL, env=environment)
        _, status, usage = os.wait4(process.pid, 0)
        seconds = time.perf_counter() - start
        if cpu:
            seconds = usage.ru_utime + usage.ru_stime
        out.seek(0)
        trace = out.read()
    return seconds, usage.ru_maxrss / 1024, trace, os.waitstatus_to_exitcode(status)


def timed(binary, arguments, repeats, threads=None):
    """Median wall time, largest peak RSS, and the folder and trace of the last run (the caller
    removes the folder)."""
    environment = dict(os.environ)
    environment.pop("BREVOX_THREADS", None)
    if threads is not None:
        environment["BREVOX_THREADS"] = str(threads)
    times, peaks = [], []
    for repeat in range(repeats):
        folder = tempfile.mkdtemp(prefix="brevox-bench-")
        seconds, peak, trace, code = run_once(binary, arguments, folder, environment)
        times.append(seconds)
        peaks.append(peak)
        if code != 0:
            print(f"  {binary} {' '.join(arguments)} exited with {code}")
        if repeat < repeats - 1:
            shutil.rmtree(folder)
    return statistics.median(times), max(peaks), (folder, trace)


def remove(*runs):
    for folder, _ in runs:
        shutil.rmtree(folder, ignore_errors=True)


# The run's list of the files it wrote, with their sizes and modification times: no two runs share
# the times, so manifests are compared by their sizes and names alone.
MANIFEST = ".brevox-manifest"


def manifest_entries(folder):
    """The manifest's lines without their modification times, or None without a manifest."""
    path = os.path.join(folder, MANIFEST)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as manifest:
        return [b"\t".join(line.split(b"\t")[::2]) for line in manifest.read().splitlines()]


def differing_files(first, second):
    """How many files two runs wrote differently, or wrote only one of them."""
    (folder_a, _), (folder_b, _) = first, second
    names_a, names_b = set(os.listdir(folder_a)), set(os.listdir(folder_b))
    both = sorted((names_a & names_b) - {MANIFEST})
    _, mismatch, errors = filecmp.cmpfiles(folder_a, folder_b, both, shallow=False)
    manifests = 0
    if MANIFEST in names_a and MANIFEST in names_b:
        manifests = 0 if manifest_entries(folder_a) == manifest_entries(folder_b) else 1
    return len(mismatch) + len(errors) + len(names_a ^ names_b) + manifests


def same_output(first, second):
    """Whether two runs wrote the same files, byte for byte (manifests without their times), and
    the same trace."""
    (_, trace_a), (_, trace_b) = first, second
    return trace_a == trace_b and differing_files(first, second) == 0


# The runs at scale: what each measures, its data set (works, criteria), its options and threads.
SCALE_ROWS = [
    ("60 x 10 -S, all tests", (60, 10), ["-S"], 1, False),
    ("60 x 10, every report", (60, 10), [], 1, True),
    ("60 x 10 -FS, Fisher alone", (60, 10), ["-FS"], 1, False),
    ("200 x 20 -SEH, 2 threads", (200, 20), ["-SEH"], 2, False),
    ("400 x 5 -SE", (400, 5), ["-SE"], 1, False),
]


def scale_rows(new, old, inputs):
    """Each run at scale once with each binary: CPU seconds and peak memory side by side."""
    print("Runs at scale, once each, CPU time (user + system) and peak memory; old is the release")
    scratch = "/dev/shm" if os.path.isdir("/dev/shm") else None
    for title, (works, criteria), options, threads, on_tmpfs in SCALE_ROWS:
        path = data_set(works, criteria, inputs)
        environment = dict(os.environ)
        environment["BREVOX_THREADS"] = str(threads)
        runs = []
        for binary in (old, new):
            folder = tempfile.mkdtemp(prefix="brevox-bench-", dir=scratch if on_tmpfs else None)
            seconds, peak, trace, code = run_once(binary, [path] + options, folder, environment,
                                                  cpu=True)
            if code != 0:
                print(f"  {binary} {' '.join(options)} exited with {code}")
            runs.append((seconds, peak, (folder, trace)))
        (t_old, m_old, out_old), (t_new, m_new, out_new) = runs
        differ = differing_files(out_old, out_new)
        remove(out_old, out_new)
        print(f"  {title}: old {t_old:.2f} s CPU ({m_old:.0f} MiB), new {t_new:.2f} s CPU "
              f"({m_new:.0f} MiB): {t_old / t_new:.1f}x; "
              f"{'identical output' if differ == 0 else f'{differ} files differ'}")


def data_set(works, criteria, folder):
    path = os.path.join(folder, f"data_{works}x{criteria}.csv")
    with open(path, "w", newline="") as out:
        subprocess.run([sys.executable, os.path.join(HERE, "large_data_set.py"), "--works",
                        str(works), "--criteria", str(criteria)], stdout=out, check=True)
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--new", required=True)
    parser.add_argument("--old", required=True)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--slow", action="store_true")
    args = parser.parse_args()
    new, old = os.path.abspath(args.new), os.path.abspath(args.old)
    few = 1 if args.quick else 3
    many = 3 if args.quick else 9
    inputs = tempfile.mkdtemp(prefix="brevox-bench-data-")
    differ = False

    def compare(title, arguments, repeats, slow_old=True):
        nonlocal differ
        t_old, m_old, out_old = timed(old, arguments, 1 if not slow_old else repeats)
        t_new, m_new, out_new = timed(new, arguments, repeats)
        files = differing_files(out_old, out_new)
        traces = "" if out_old[1] == out_new[1] else ", the console trace differs"
        remove(out_old)
        print(f"{title}: old {t_old:.3f} s ({m_old:.0f} MiB), new {t_new:.3f} s "
              f"({m_new:.0f} MiB): {t_old / t_new:.1f}x faster; "
              f"{'identical output' if files == 0 and not traces else f'{files} files differ'}"
              f"{traces}")
        return t_old, out_new

    print("brevox -D, built-in data, all tests, median of", many)
    _, out_new = compare("  brevox -D", ["-D"], many)
    remove(out_new)

    medium = data_set(30, 5, inputs)
    print("30 works x 5 criteria, totals up to 5,000, all tests, median of", few)
    t_old, out_new = compare("  threads unset", [medium], few, slow_old=False)
    t_one, m_one, out_one = timed(new, [medium], few, threads=1)
    same = same_output(out_new, out_one)
    remove(out_new, out_one)
    differ = differ or not same
    print(f"  BREVOX_THREADS=1: new {t_one:.3f} s ({m_one:.0f} MiB): {t_old / t_one:.1f}x faster "
          f"than old; {'identical output' if same else 'OUTPUT DIFFERS'}")

    large = data_set(60, 10, inputs)
    print("60 works x 10 criteria, totals up to 5,000, all tests")
    if args.slow:
        _, out_new = compare("  threads unset", [large], 1, slow_old=False)
        remove(out_new)
    else:
        t_new, m_new, out_new = timed(new, [large], 1)
        remove(out_new)
        print(f"  new {t_new:.2f} s ({m_new:.0f} MiB); the old binary with --slow")

    print("Options that add outputs, new binary, median of", many)
    t_plain, _, plain = timed(new, ["-D"], many)
    remove(plain)
    for letter, added in (("E", "T_all_results.csv"), ("H", "brevox_report.html")):
        t_with, m_with, run = timed(new, ["-D" + letter], many)
        present = os.path.exists(os.path.join(run[0], added))
        remove(run)
        if not present:
            print(f"  -D{letter}: not an option of this binary")
            continue
        print(f"  -D{letter}: {t_with:.3f} s ({m_with:.0f} MiB) against -D {t_plain:.3f} s: "
              f"{t_with / t_plain:.2f}x")
    if not args.quick:
        scale_rows(new, old, inputs)
    shutil.rmtree(inputs)
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The headless converter against csv2latex, whole processes, start-up included.

    bench/converter-vs-csv2latex.py PATH/TO/quiltor [RUNS]

PATH/TO/quiltor is a Release build (nothing is built here), e.g.
    cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DQUILTOR_TESTS=OFF
    cmake --build build/release -j2 --target quiltor
csv2latex is the Debian package of that name (apt-get install csv2latex).

Generates numeric CSVs of 100 cells (10 x 10), 1M cells (100,000 x 10) and
4M cells (400,000 x 10), then runs `quiltor --latex IN` and `csv2latex IN`,
both writing to a file, in turn: A B A B ..., so that a machine whose speed
drifts treats both alike. Prints the median wall time of each with its
spread (min..max) and the median of the pairwise ratios. `quiltor --version`
is timed too. Run it on an idle machine; the spread tells how idle it was.
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def write_csv(path, rows, cols):
    rnd = random.Random(rows * 31 + cols)
    with open(path, "w") as f:
        for _ in range(rows):
            f.write(",".join(str(rnd.randint(0, 99999)) if c % 2 == 0 else "%.2f" % (rnd.random() * 1000)
                             for c in range(cols)))
            f.write("\n")


def wall(argv, out):
    with open(out, "wb") as o:
        start = time.perf_counter()
        status = subprocess.call(argv, stdin=subprocess.DEVNULL, stdout=o)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("%s exited with %d" % (" ".join(argv), status))
    return elapsed


def pair(name, a, b, runs, folder):
    wall(a, os.path.join(folder, "a.out"))  # warm-up: the files into the page cache
    wall(b, os.path.join(folder, "b.out"))
    ta, tb = [], []
    for _ in range(runs):
        ta.append(wall(a, os.path.join(folder, "a.out")))
        tb.append(wall(b, os.path.join(folder, "b.out")))
    ratios = [x / y for x, y in zip(ta, tb)]

    def ms(v):
        return "%8.2f ms (%.2f..%.2f)" % (statistics.median(v) * 1e3, min(v) * 1e3, max(v) * 1e3)

    print("%-22s quiltor %s   csv2latex %s   ratio %.2f (%.2f..%.2f)" %
          (name, ms(ta), ms(tb), statistics.median(ratios), min(ratios), max(ratios)))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    quiltor = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) == 3 else 21
    csv2latex = shutil.which("csv2latex")
    if not csv2latex:
        sys.exit("csv2latex is missing: apt-get install csv2latex")
    with tempfile.TemporaryDirectory(prefix="quiltor-bench-") as folder:
        print("load average %.2f %.2f %.2f" % os.getloadavg())
        print("%d alternating pairs each; wall time, median (min..max); ratio = quiltor / csv2latex" % runs)
        pair("--version / --help", [quiltor, "--version"], [csv2latex, "--help"], runs, folder)
        for name, rows, cols, n in (("100 cells", 10, 10, runs), ("1M cells", 100000, 10, runs),
                                    ("4M cells", 400000, 10, max(5, runs // 3))):
            csv = os.path.join(folder, "in.csv")
            write_csv(csv, rows, cols)
            pair(name, [quiltor, "--latex", csv], [csv2latex, csv], n, folder)
        print("load average %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()

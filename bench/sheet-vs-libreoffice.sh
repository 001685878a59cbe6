#!/usr/bin/env bash
# Opening a 100,000 x 10 .xlsx of numbers in the editor (to the first paint)
# against LibreOffice's headless conversion of the same file to CSV.
# Usage: bench/sheet-vs-libreoffice.sh BUILD_DIR   (a Release build with
# -DQUILTOR_BENCH=ON); needs soffice (libreoffice-calc-nogui).
#
# Measured on the shared 2-core build machine (load average about 10, so
# the figures are high for both; the ratio is what counts):
#   LibreOffice 7.4 xlsx -> csv       19.1-22.4 s wall, 7.4 s CPU
#   before (printf-based numbers)     45.1 s to the first paint (2.0 x)
#   after (std::to_chars, a format    22.3-27.3 s to the first paint
#   code read once per run of cells)  (1.1-1.3 x), about 10.5 s CPU
# Of what is left, about half is the grid measuring every cell's text with
# Qt's text layout; reading the workbook with liborcus is most of the rest.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILTOR_BENCH_XLSX=$work/sheet.xlsx

# The numbers: integers, decimals and large values, as measurements are.
python3 - "$work/sheet.csv" <<'PY'
import random, sys
random.seed(1)
with open(sys.argv[1], "w") as f:
    for r in range(100000):
        f.write(",".join(str(round(random.uniform(-1e4, 1e6), random.choice((0, 2, 5)))) for _ in range(10)) + "\n")
PY
soffice --headless -env:UserInstallation=file://$work/profile --convert-to xlsx --outdir "$work" "$work/sheet.csv" >/dev/null
mkdir "$work/out"
lo=()
for run in 1 2 3; do
  start=$(date +%s.%N)
  soffice --headless -env:UserInstallation=file://$work/profile --convert-to csv --outdir "$work/out" "$QUILTOR_BENCH_XLSX" >/dev/null
  end=$(date +%s.%N)
  lo+=("$(echo "($end - $start) * 1000" | bc)")
done
echo "LibreOffice xlsx -> csv (ms): ${lo[*]}"
"$build/bench/bench_gui_open_sheet" --benchmark_counters_tabular=true

#!/usr/bin/env bash
# Opening a 100,000 x 10 .xlsx of numbers in the editor (to the first paint)
# against LibreOffice's headless conversion of the same file to CSV.
# Usage: bench/sheet-vs-libreoffice.sh BUILD_DIR   (a Release build with
# -DQUILTOR_BENCH=ON); needs soffice (libreoffice-calc-nogui).
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

#!/bin/sh
# Measures the Release editor as the user meets it: under Xvfb, keys, clicks
# and pointer motion sent through XTEST, the grid's pixels watched until they
# change (bench/outside-probe.c). Prints medians per kind of event.
#
#   bench/measure-outside.sh BUILD_DIR TABLE.qtor [DISPLAY_NUMBER]
#
# BUILD_DIR holds quiltor and quiltor-editor.so. The table should be large
# (1000 x 1000: File > New, or --convert from a CSV). The window is placed at
# the screen's top left, 1200 x 800; the cell watched is the grid's sixth
# column of its sixth row, which the coordinates below assume at the
# default font and toolbar look. Needs Xvfb, xdotool and libXtst.
set -eu
build=$1
table=$2
number=${3:-33}
# A wrong folder would leave the window search below waiting for ever.
[ -x "$build/quiltor" ] || { echo "$build/quiltor: no such program" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/quiltor-outside-XXXXXX)
gcc -O2 -o "$work/probe" "$here/outside-probe.c" -lX11 /usr/lib/x86_64-linux-gnu/libXtst.so.6

export DISPLAY=:$number
Xvfb ":$number" -screen 0 1600x1000x24 >"$work/xvfb.log" 2>&1 &
xvfb=$!
# Settings and recovery files of its own: no dialog about another run's.
mkdir -p "$work/c" "$work/d" "$work/r" "$work/s"
chmod 700 "$work/r"
export XDG_CONFIG_HOME=$work/c XDG_DATA_HOME=$work/d XDG_RUNTIME_DIR=$work/r XDG_STATE_HOME=$work/s
sleep 2
"$build/quiltor" "$table" >"$work/app.log" 2>&1 &
app=$!
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$work"' EXIT

window=$(xdotool search --sync --name "^Quiltor - ")
# Until the table is read and laid out, the editor burns a core.
sleep 5
ticks() { awk '{print $14 + $15}' /proc/$app/stat; }
while :; do
  a=$(ticks); sleep 2; b=$(ticks)
  [ $((b - a)) -lt 20 ] && break
done
xdotool windowmove "$window" 0 0 windowsize "$window" 1200 800
sleep 2

probe="$work/probe"
cell="190 226 70 40"  # around the watched cell, its rules too: x y w h
click_cell() { xdotool mousemove 213 246 click 1; sleep 0.5; }
# Waits until no TeX run of the typeset preview is going on.
settle() {
  sleep 1
  while pgrep -P $app >/dev/null; do sleep 1; done
  sleep 1
}

echo "# $(uptime)"
click_cell
$probe type $app $cell 150 | sed "s/^/hidden: /"
$probe enter $app $cell 10 213 246 | sed 's/^/hidden: /'
$probe motion $app 300 300 1 1 200 | sed 's/^/hidden: /'
click_cell
$probe idle $app 0 0 1 1 5 | sed 's/^/hidden: /'
# All cells selected (Edit > Select All Cells), then the Rules button's own
# face (All Rules).
click_cell
xdotool mousemove 65 9 click 1
sleep 1
xdotool mousemove 119 253 click 1
sleep 1
$probe rules $app $cell 5 312 66 | sed 's/^/hidden: /'

# The code window (View > Code's button).
xdotool mousemove 439 35 click 1
sleep 3
click_cell
$probe type $app $cell 60 | sed 's/^/code shown: /'
$probe enter $app $cell 10 213 246 | sed 's/^/code shown: /'
xdotool mousemove 439 35 click 1
sleep 1

# The typeset preview (View > Typeset Preview's button); its first run is
# left to finish.
xdotool mousemove 468 35 click 1
settle
click_cell
$probe type $app $cell 60 | sed 's/^/typeset shown: /'
settle
$probe enter $app $cell 10 213 246 | sed 's/^/typeset shown: /'
echo "# $(uptime)"

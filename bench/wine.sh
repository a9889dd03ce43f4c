#!/usr/bin/env bash
# Numbers of the Windows program under Wine, for information (no goals):
#  - start to first paint of the launcher menu, native windows against the
#    console, each the median of 5 runs with a warm wineserver;
#  - the install of the benchmark's two-disc set (about 1.5 GiB, every
#    component, no program group) without a person, under Wine against the
#    same install of the Linux program, each the median of 5 runs, the
#    destination removed and the disk synced before every run.
# Run by ./dev bench wine after both builds; prints INFO lines.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=$ROOT/build/bin
OUT=$ROOT/build/wine-bench
DATA=$ROOT/build/bench-data/install1g5
mkdir -p "$OUT/home"
export WINEPREFIX=$OUT/prefix HOME=$OUT/home WINEDEBUG=-all
# Wine would turn every Start-menu link into a menu entry of the host (and
# keep a process waiting for each): the links are what is checked here.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
export XDG_DATA_HOME=$OUT/home/.local/share XDG_CONFIG_HOME=$OUT/home/.config
[ -n "${DISPLAY:-}" ] || { echo "bench/wine.sh needs a display (DISPLAY)" >&2; exit 1; }

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Milliseconds a command takes; its output is thrown away, its status ignored.
ms() {
  local start end
  start=$(now)
  "$@" </dev/null >/dev/null 2>&1 || true
  end=$(now)
  echo $(((end - start) / 1000000))
}
win() { echo "Z:${1//\//\\}"; }

wineboot -i >/dev/null 2>&1 || true
# The wineserver stays up between the runs (every run starts warm); the
# one ./dev started may be there already.
wineserver -p </dev/null >/dev/null 2>&1 || true

# A sample disc to open the launcher on.
if [ ! -f "$OUT/sample/disc1/install.dat" ]; then
  "$BIN/tarn-sample-title" "$OUT/title.png" >/dev/null
  "$BIN/mkdisc" "$ROOT/examples/sample/manifest.json" -o "$OUT/sample" -D "title=$OUT/title.png" \
    -D "game=$BIN/tarn-sample-game.exe" -D "setup=$BIN/install.exe" >/dev/null
fi
for ui in win32 console; do
  wine "$BIN/install.exe" --ui=$ui --exit-at-first-paint --source "$(win "$OUT/sample/disc1")" </dev/null >/dev/null 2>&1 || true
  t=$(for _ in 1 2 3 4 5; do ms wine "$BIN/install.exe" --ui=$ui --exit-at-first-paint --source "$(win "$OUT/sample/disc1")"; done | median)
  echo "INFO wine_first_paint_$ui $t ms"
done

# The install benchmark's discs (made by the Linux benchmark when missing).
[ -f "$DATA/complete" ] || "$BIN/bench_install" install_vs_cp_merge >/dev/null
dest=$OUT/dest
clear() { rm -rf "$dest"; sync; }
wine_install() { clear; ms wine "$BIN/install.exe" --very-silent "$(win "$DATA/disc1")" --dir "$(win "$dest")" --components all --no-shortcuts; }
linux_install() { clear; ms env HOME="$OUT/home" "$BIN/tarn-setup" --very-silent "$DATA/disc1" --dir "$dest" --components all --no-shortcuts; }
w=$(for _ in 1 2 3 4 5; do wine_install; done | median)
l=$(for _ in 1 2 3 4 5; do linux_install; done | median)
echo "INFO install_two_discs_1g5_wine $w ms"
echo "INFO install_two_discs_1g5_linux $l ms"
echo "INFO install_wine_over_linux $(awk -v a="$w" -v b="$l" 'BEGIN { printf "%.2f", a / b }') x"
clear
wineserver -k || true

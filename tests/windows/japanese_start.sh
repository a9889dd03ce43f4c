#!/usr/bin/env bash
# A Windows game installed on Linux and started from its menu entry runs as
# on a Japanese Windows, on a system without a Japanese locale: a probe
# program (tarn-japanese-probe.exe, the mingw build's) is the game.exe of the
# sample disc set, installed by the native tarn-setup without a person and
# started with `gio launch` through its entry, in a session with LANG=C.UTF-8,
# the system's locales hidden (LOCPATH names an empty folder), a home of its
# own and so no Wine prefix yet. The probe reports the ANSI code page, its
# Shift-JIS named file, the gothic face asked for by name. The first start
# (locale, prefix and fonts made) and five later ones are timed.
#
# Run by ./dev test windows (DISPLAY on Xvfb); build/bin holds the native and
# the Windows programs. The first failure ends the run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$ROOT/build/bin
OUT=$ROOT/build/japanese-start
step() { echo "-- $*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
for p in tarn-setup mkdisc tarn-sample-title tarn-japanese-probe.exe; do
  [ -x "$BIN/$p" ] || fail "missing $BIN/$p"
done
for t in wine gio desktop-file-validate localedef fc-list; do
  command -v "$t" >/dev/null || fail "missing $t"
done

rm -rf "$OUT"
mkdir -p "$OUT/home" "$OUT/no-locales" "$OUT/tmp"
# The session: a locale that is no Japanese one, none to be found, a new home.
unset LC_ALL LANGUAGE WINEPREFIX WINEDLLOVERRIDES XDG_RUNTIME_DIR
export LANG=C.UTF-8 LOCPATH=$OUT/no-locales HOME=$OUT/home TMPDIR=$OUT/tmp WINEDEBUG=-all
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache
PREFIX=
stop_wine() { [ -d "$PREFIX" ] && WINEPREFIX=$PREFIX wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
locale -a 2>/dev/null | grep -qi '^ja_JP' && fail "a Japanese locale is still visible"

step "the sample disc set with the probe as its game, installed by the native program"
"$BIN/tarn-sample-title" "$OUT/title.png" >/dev/null
"$BIN/mkdisc" "$ROOT/examples/sample/manifest.json" -o "$OUT/sample" -D "title=$OUT/title.png" \
  -D "game=$BIN/tarn-japanese-probe.exe" -D "setup=$BIN/tarn-setup" >/dev/null
DEST=$HOME/Games/Shiomizaka
rc=0
"$BIN/tarn-setup" --silent "$OUT/sample/disc1" --dir "$DEST" --components all --log "$OUT/install.log" \
  >"$OUT/install.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$OUT/install.out"; fail "the install ended with $rc"; }
[ -x "$DEST/install.exe" ] && [ -f "$DEST/game.exe" ] || fail "the installation lacks install.exe or game.exe"
printf saved >"$DEST/セーブ.txt"

step "the game's menu entry: the installation's own program, the game's prefix"
entry=$(grep -l -- '--run-windows' "$XDG_DATA_HOME"/applications/*.desktop | xargs grep -l 'game.exe' | head -n 1)
[ -n "$entry" ] || fail "no menu entry starts game.exe through --run-windows"
grep '^Exec=' "$entry"
# The game's own prefix: its registry key Yuzuriha\Shiomizaka made a folder name.
grep -Eq "^Exec=$DEST/install.exe --run-windows --wine-prefix $XDG_DATA_HOME/tarn-setup/wine/Yuzuriha_Shiomizaka-[0-9a-f]{8} $DEST/game.exe\$" "$entry" ||
  fail "the entry's Exec is not the installation's program with the game's prefix"
PREFIX=$(sed -n 's/^Exec=.* --wine-prefix \([^ ]*\) .*/\1/p' "$entry")
desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
[ ! -e "$PREFIX" ] || fail "the prefix exists before the first start"

RESULT=$DEST/probe-result.txt
now_ms() { date +%s%3N; }
# Starts the entry and waits for the probe's report; prints the milliseconds.
start_game() {
  rm -f "$RESULT"
  local t0 i
  t0=$(now_ms)
  gio launch "$entry" || fail "gio launch $entry"
  for i in $(seq 3000); do
    [ -f "$RESULT" ] && break
    sleep 0.1
  done
  [ -f "$RESULT" ] || fail "the probe wrote nothing in 300 s"
  echo $(($(now_ms) - t0))
}

step "first start: the locale, the prefix and its fonts are made"
first=$(start_game)
cat "$RESULT"
grep -qx 'acp=932' "$RESULT" || fail "the ANSI code page is not 932"
grep -qx 'save=saved' "$RESULT" || fail "セーブ.txt was not opened by its Shift-JIS name"
grep -qx 'charset=128' "$RESULT" || fail "ＭＳ ゴシック did not give a Shift-JIS font"
grep -qx 'glyph=yes' "$RESULT" || fail "the font has no glyph for あ"
[ -f "$XDG_DATA_HOME/tarn-setup/locale/ja_JP.UTF-8/LC_CTYPE" ] || fail "no own locale was made"
[ "$(cat "$PREFIX/.tarn-setup-prefix")" = ready ] || fail "the prefix is not marked ready"
grep -q 'Fonts\\\\Replacements' "$PREFIX/user.reg" || { WINEPREFIX=$PREFIX wineserver -w; }
grep -A12 'Fonts\\\\Replacements' "$PREFIX/user.reg" | grep -q '"MS Gothic"="IPAGothic"' ||
  fail "the prefix has no font replacement for MS Gothic"
[ ! -e "$HOME/.wine" ] || fail "~/.wine was made"

step "later starts"
times=()
for n in 1 2 3 4 5; do
  # As a person starts it later: the Wine server of the last start has gone.
  WINEPREFIX=$PREFIX wineserver -w 2>/dev/null || true
  times+=("$(start_game)")
  grep -qx 'acp=932' "$RESULT" || fail "start $n: the ANSI code page is not 932"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
echo "BENCH japanese start: first ${first} ms, later median ${median} ms (${times[*]})"

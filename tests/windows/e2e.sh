#!/usr/bin/env bash
# The Windows program end to end under Wine, as a person and a script use it:
# the sample disc set on two drive letters, an install without a person that
# finds disc 2 on the other drive, the registry value read back with
# `wine reg query`, the Start-menu group, the game started from the
# installation, the removal to the recycle bin keeping the save data; then
# the launcher, the backdrop and the wizard clicked through their real windows
# (tarn-drive), the temporary copy "$$tinstall.exe" with its deletion pending
# until the next start, carried out at the next start of the wineserver.
#
# Run by ./dev test windows with WINEPREFIX-free environment, DISPLAY (Xvfb),
# LOCPATH/LANG (Japanese) set; build/bin holds the Windows and the native
# programs. Every step prints what it checks; the first failure ends the run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BIN=$ROOT/build/bin
OUT=$ROOT/build/windows-e2e
rm -rf "$OUT"
mkdir -p "$OUT/home" "$OUT/shots"
export WINEPREFIX=$OUT/prefix HOME=$OUT/home WINEDEBUG=-all
# Wine would turn every Start-menu link into a menu entry of the host (and
# keep a process waiting for each): the links are what is checked here.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config
unset XDG_RUNTIME_DIR
step() { echo "-- $*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
W() { wine "$@"; }

[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: the windows need a display (Xvfb)"
[ "${LANG:-}" = ja_JP.UTF-8 ] || fail "LANG is not ja_JP.UTF-8: the run is made under a Japanese locale"
for p in install.exe tarn-sample-game.exe tarn-drive.exe mkdisc.exe tarn-sample-title.exe; do
  [ -x "$BIN/$p" ] || fail "missing $BIN/$p"
done

step "a fresh prefix under the Japanese locale"
wineboot -i >/dev/null 2>&1 || true
# Windows managed by Wine itself (there is no window manager), and the
# forms' font as the Japanese proportional gothic.
W reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
W reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null
acp=$(W reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP | tr -d '\r' | awk '/ACP/ {print $3}')
[ "$acp" = 932 ] || fail "the prefix's ANSI code page is '$acp', not 932"

step "the sample disc set, disc 1 on D: and disc 2 on E:"
# Made by the Windows tools themselves (their PNG goes through the system's codec).
win() { echo "Z:${1//\//\\}"; }
W "$BIN/tarn-sample-title.exe" "$(win "$OUT/title.png")" >/dev/null
W "$BIN/mkdisc.exe" "$(win "$ROOT/examples/sample/manifest.json")" -o "$(win "$OUT/sample")" -D "title=$(win "$OUT/title.png")" \
  -D "game=$(win "$BIN/tarn-sample-game.exe")" -D "setup=$(win "$BIN/install.exe")" >/dev/null
ln -sfn "$OUT/sample/disc1" "$WINEPREFIX/dosdevices/d:"
ln -sfn "$OUT/sample/disc2" "$WINEPREFIX/dosdevices/e:"
# The wineserver and the desktop (which serves the program manager's
# conversation and opens a window for each group it makes) started without
# this script's output, so that they never hold a pipe of its caller open;
# the drives are read when the wineserver starts.
restart_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p </dev/null >/dev/null 2>&1
  (wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &)
  local p
  for _ in $(seq 100); do
    for p in $(pgrep -f 'explorer.exe /desktop'); do
      tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && break 2
    done
    sleep 0.1
  done
  # The mounted drives come a moment after the start.
  for _ in $(seq 50); do
    W cmd /c 'vol E: >nul' </dev/null >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  fail "the Wine desktop or drive E: would not come up"
}
trap 'wineserver -k 2>/dev/null || true' EXIT
restart_wine

TITLE=潮見坂の灯台
INSTALLED='C:\Program Files\Yuzuriha\Shiomizaka'
INSTALLED_HOST=$WINEPREFIX/drive_c/Program\ Files/Yuzuriha/Shiomizaka
reg_value() {
  W reg query 'HKCU\Software\Yuzuriha\Shiomizaka' /v InstallPath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
}
programs_folder() {
  find "$WINEPREFIX/drive_c/users" -type d -path '*Start Menu/Programs' | head -n 1
}

step "install without a person from D:, disc 2 found on E:"
rc=0
W 'D:\install.exe' --silent 'D:\' --components all --log 'Z:'"${OUT//\//\\}"'\install.log' >"$OUT/install.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$OUT/install.out"; fail "the unattended install ended with $rc"; }
grep -q 'disc 2 in E:\\' "$OUT/install.log" || fail "the log does not say disc 2 was found on E:"
for f in game.exe install.exe readme.txt game.dat install.dat 'voice/keeper01.wav' 'movie/ending.mpg'; do
  [ -f "$INSTALLED_HOST/$f" ] || fail "not installed: $f"
done
[ ! -e "$INSTALLED_HOST/directx" ] || fail "the DirectX folder was copied"

step "the registry value, read back with wine reg query"
[ "$(reg_value)" = "$INSTALLED"'\' ] || fail "InstallPath is '$(reg_value)'"

step "the Start-menu group and its items"
group=$(programs_folder)/$TITLE
[ -d "$group" ] || fail "no Start-menu group $group"
ls "$group" | tee "$OUT/group.txt"
[ "$(ls "$group" | grep -c '\.lnk$')" -ge 3 ] || fail "the group holds $(ls "$group" | wc -l) items, not the game, the uninstaller and the read-me"

step "the game, started from the installation"
rc=0
W "$INSTALLED"'\game.exe' --ui=console </dev/null >"$OUT/game.out" 2>&1 || rc=$?
grep -q 'game.dat の 8 個のデータをすべて読み込みました' "$OUT/game.out" || { cat "$OUT/game.out"; fail "the game did not read the merged archive ($rc)"; }

step "removal without a person, keeping save.dat, into the recycle bin"
echo progress >"$INSTALLED_HOST/save.dat"
mkdir -p "$XDG_DATA_HOME/Trash/files" "$XDG_DATA_HOME/Trash/info"
rc=0
W 'D:\install.exe' --silent --uninstall 'D:\' --log 'Z:'"${OUT//\//\\}"'\uninstall.log' >"$OUT/uninstall.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$OUT/uninstall.out"; fail "the unattended removal ended with $rc"; }
[ "$(ls "$INSTALLED_HOST")" = save.dat ] || fail "left in the installation: $(ls "$INSTALLED_HOST" | tr '\n' ' ')"
[ -z "$(reg_value)" ] || fail "InstallPath is still there"
[ ! -d "$group" ] || fail "the Start-menu group is still there"
ls "$XDG_DATA_HOME/Trash/files" | grep -q '^game.exe' || fail "game.exe is not in the recycle bin"

drive() { W "$BIN/tarn-drive.exe" "$@" || fail "tarn-drive $*"; }
temp_copy() { find "$WINEPREFIX/drive_c/users" -name '$$tinstall.exe' 2>/dev/null | head -n 1; }
pending_renames() {
  W reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null | tr -d '\r'
}

step "the launcher on D:, clicked through its window"
# No group windows of the runs above left to mistake for the launcher.
restart_wine
W 'D:\install.exe' &
launcher=$!
drive wait "$TITLE"
drive click "$TITLE" インストール
wait $launcher || fail "the launcher ended with $?"
copy=$(temp_copy)
[ -n "$copy" ] || fail "no temporary copy \$\$tinstall.exe"
echo "   temporary copy: $copy"

step "the backdrop and the wizard from the temporary copy; disc 2 found on E:"
drive wait "${TITLE}のセットアップ"
drive wait "インストールするCD-ROM"
pending_renames | grep -q 'tinstall.exe' || fail "the temporary copy's deletion is not pending"
drive click "インストールするCD-ROM" "次へ(&N) >"
drive wait "インストールするファイル"
drive click "インストールするファイル" "次へ(&N) >"
drive wait "インストール先の選択"
drive click "インストール先の選択" "次へ(&N) >"
drive wait "インストール準備完了"
drive click "インストール準備完了" "インストール"
drive wait "完了" 120
[ -f "$INSTALLED_HOST/manual/manual.html" ] || fail "disc 2's files are not installed"
[ -f "$INSTALLED_HOST/game.dat" ] || fail "no game.dat"
[ "$(reg_value)" = "$INSTALLED"'\' ] || fail "InstallPath is '$(reg_value)'"
[ -d "$group" ] || fail "no Start-menu group after the wizard's install"
drive click "完了" "閉じる(&C)"
drive gone "${TITLE}のセットアップ"

step "the uninstaller from the installation, keeping save.dat, clicked through"
echo progress >"$INSTALLED_HOST/save.dat"
rm -rf "$XDG_DATA_HOME/Trash/files"/* "$XDG_DATA_HOME/Trash/info"/*
W "$INSTALLED"'\install.exe' || fail "the uninstaller's bootstrap ended with $?"
drive wait "アンインストール"
drive click "アンインストール" "実行"
drive wait "完了" 120
drive click "完了" "閉じる(&C)"
drive gone "${TITLE}の削除"
[ "$(ls "$INSTALLED_HOST")" = save.dat ] || fail "left in the installation: $(ls "$INSTALLED_HOST" | tr '\n' ' ')"
ls "$XDG_DATA_HOME/Trash/files" | grep -q '^game.exe' || fail "game.exe is not in the recycle bin"
[ -z "$(reg_value)" ] || fail "InstallPath is still there"

step "install without a person from the .iso images, read in place; disc 2 found beside disc 1"
W "$BIN/mkdisc.exe" "$(win "$ROOT/examples/sample/manifest.json")" -o "$(win "$OUT/images")" --image iso -D "title=$(win "$OUT/title.png")" \
  -D "game=$(win "$BIN/tarn-sample-game.exe")" -D "setup=$(win "$BIN/install.exe")" >/dev/null || fail "mkdisc --image iso"
rm -rf "$INSTALLED_HOST"
rc=0
W "$BIN/install.exe" --silent "$(win "$OUT/images/disc1.iso")" --components all --log 'Z:'"${OUT//\//\\}"'\images.log' >"$OUT/images.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$OUT/images.out"; fail "the unattended install from the images ended with $rc"; }
grep -q 'disc2.iso' "$OUT/images.log" || fail "the log does not say disc 2 was found as disc2.iso"
for f in game.exe install.exe readme.txt game.dat install.dat 'voice/keeper01.wav' 'movie/ending.mpg' 'manual/manual.html'; do
  [ -f "$INSTALLED_HOST/$f" ] || fail "not installed from the images: $f"
  [ -w "$INSTALLED_HOST/$f" ] || fail "installed read-only from the images: $f"
done
cmp -s "$INSTALLED_HOST/bgm/ending.mid" "$OUT/sample/disc2/bgm/ending.mid" || fail "bgm/ending.mid differs from the disc's"
rc=0
W "$INSTALLED"'\install.exe' --silent --uninstall "$INSTALLED" --delete-save >"$OUT/images-uninstall.out" 2>&1 || rc=$?
[ $rc -eq 0 ] || { cat "$OUT/images-uninstall.out"; fail "the removal of the installation from the images ended with $rc"; }

step "the next start of the system removes the temporary copy"
restart_wine
# The system's start-up carries the pending operations out beside the first program.
for _ in $(seq 100); do
  [ -z "$(temp_copy)" ] && break
  sleep 0.1
done
[ -z "$(temp_copy)" ] || fail "the temporary copy is still there: $(temp_copy)"

echo "== Windows end to end: all steps passed"

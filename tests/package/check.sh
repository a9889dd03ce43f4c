#!/usr/bin/env bash
# Checks the packages ./dev package made in build/pkg: the Debian package
# through lintian, its file list, control fields, desktop entry and file
# types, then installed for real into a clean Debian 12 (a minimal system
# made by debootstrap, kept under build/pkg-root) and removed again; the zip
# of the Windows programs unpacked and its install.exe run in a new Wine
# prefix. Run as root (the clean system is a chroot). Ends with the line
# "package: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
VERSION=$(sed -n 's/^project(tarn VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB=$ROOT/build/pkg/tarn-setup_${VERSION}_amd64.deb
ZIP=$ROOT/build/pkg/tarn-setup-${VERSION}-windows-x64.zip
PROGRAMS=(tarn-setup instdat vfarc discimg galeconv imgconv mkdisc)

passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; [ $# -gt 1 ] && printf '%s\n' "$2" | sed 's/^/     /'; }
# check NAME COMMAND...: passes when COMMAND succeeds; its output is shown otherwise.
check() {
  local name=$1 out; shift
  if out=$("$@" 2>&1); then pass "$name"; else fail "$name" "$out"; fi
}
# same NAME EXPECTED ACTUAL
same() {
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3"))"; fi
}
timed() { # LABEL LOG COMMAND...: runs COMMAND, its output appended to LOG, and says how long it took
  local label=$1 log=$2 start=$SECONDS rc; shift 2
  "$@" >>"$log" 2>&1; rc=$?
  echo "time $label: $((SECONDS - start)) s"
  return $rc
}

WORK=$(mktemp -d)
cleanup() {
  [ -n "${RUN:-}" ] && mountpoint -q "$RUN/proc" && umount "$RUN/proc"
  rm -rf "$WORK"
}
trap cleanup EXIT

# ---- the Debian package as a file ----
if [ ! -f "$DEB" ]; then
  fail "the package exists: $DEB"
  echo "package: $passed passed, $failed failed"
  exit 1
fi

# lintian's whole verdict: no error and no warning (overrides carry their reason).
lintian_out=$(lintian --fail-on error,warning --display-level '>=info' "$DEB" 2>&1)
lintian_rc=$?
echo "$lintian_out" | sed 's/^/lintian: /'
if [ $lintian_rc -eq 0 ]; then pass "lintian --fail-on error,warning"; else fail "lintian exit status $lintian_rc"; fi

# Every file the package holds, with its owner and mode; nothing else.
expected_files=()
for p in "${PROGRAMS[@]}"; do
  expected_files+=("-rwxr-xr-x root/root ./usr/bin/$p" "-rw-r--r-- root/root ./usr/share/man/man1/$p.1.gz")
done
expected_files+=(
  "-rw-r--r-- root/root ./usr/share/applications/tarn-setup.desktop"
  "-rw-r--r-- root/root ./usr/share/doc/tarn-setup/changelog.gz"
  "-rw-r--r-- root/root ./usr/share/doc/tarn-setup/copyright"
  "-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/tarn-setup.svg"
  "-rw-r--r-- root/root ./usr/share/mime/packages/tarn-setup.xml")
for size in 16 32 48 64 128 256; do
  expected_files+=("-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x${size}/apps/tarn-setup.png")
done
if [ -f packaging/lintian-overrides ]; then
  expected_files+=("-rw-r--r-- root/root ./usr/share/lintian/overrides/tarn-setup")
fi
contents=$(dpkg-deb --contents "$DEB")
echo "$contents" | sed 's/^/contents: /'
same "dpkg-deb --contents: the files, their modes and owner" \
  "$(printf '%s\n' "${expected_files[@]}" | sort)" \
  "$(echo "$contents" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort)"
bad_dirs=$(echo "$contents" | awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")')
same "directories 0755 root/root" "" "$bad_dirs"

control() { dpkg-deb --field "$DEB" "$1"; }
same "Package" "tarn-setup" "$(control Package)"
same "Version" "$VERSION" "$(control Version)"
same "Architecture" "amd64" "$(control Architecture)"
same "Recommends" "wine, locales, fonts-ipafont-gothic, gvfs, xdg-utils" "$(control Recommends)"
depends=$(control Depends)
# dpkg-shlibdeps found the libraries the programs link against.
for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libglib2.0-0 libpng16-16 zlib1g libssl3 qt6-qpa-plugins; do
  if [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]]; then pass "Depends names $lib"; else fail "Depends names $lib" "$depends"; fi
done

# The files inside: stripped programs, a manual page per program, the desktop
# entry and the file types as a desktop reads them.
pkg=$WORK/deb
dpkg-deb --extract "$DEB" "$pkg"
for p in "${PROGRAMS[@]}"; do
  if file -b "$pkg/usr/bin/$p" | grep -q ', stripped'; then pass "$p stripped"; else fail "$p stripped" "$(file -b "$pkg/usr/bin/$p")"; fi
  page=$(zcat "$pkg/usr/share/man/man1/$p.1.gz")
  if grep -q "^\.TH \"\?${p^^}\"\? .*\"$p $VERSION\"" <<<"$page" && grep -q '^\.SH DESCRIPTION' <<<"$page"; then
    pass "$p.1: made from --help and --version"
  else
    fail "$p.1: made from --help and --version" "$(head -12 <<<"$page")"
  fi
done
# help2man took every form of each command from --help into the synopsis.
for p in "${PROGRAMS[@]}"; do
  forms=$("$pkg/usr/bin/$p" --help 2>&1 | grep -c -E '^(Usage|  or): ')
  synopsis=$(zcat "$pkg/usr/share/man/man1/$p.1.gz" | sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/p' | grep -c '^\.B ')
  if [ "$forms" -gt 0 ] && [ "$forms" = "$synopsis" ]; then
    pass "$p.1: the synopsis has the $forms forms of --help"
  else
    fail "$p.1: the synopsis has the forms of --help" "--help: $forms, synopsis: $synopsis"
  fi
done
zcat "$pkg/usr/share/man/man1/tarn-setup.1.gz" | grep -q -- 'very\\-silent' \
  && pass "tarn-setup.1 lists the options" || fail "tarn-setup.1 lists the options"
zcat "$pkg/usr/share/doc/tarn-setup/changelog.gz" | dpkg-parsechangelog -l - -S Version >"$WORK/clv" 2>&1
same "the changelog's version is the package's" "$VERSION" "$(cat "$WORK/clv")"
check "desktop-file-validate tarn-setup.desktop" desktop-file-validate "$pkg/usr/share/applications/tarn-setup.desktop"
desktop=$pkg/usr/share/applications/tarn-setup.desktop
same "desktop entry: Exec" "Exec=tarn-setup %f" "$(grep '^Exec=' "$desktop")"
same "desktop entry: Name" "Name=Tarn setup" "$(grep '^Name=' "$desktop")"
if grep -q '^Name\[ja\]=.*セットアップ' "$desktop"; then pass "desktop entry: Name[ja]"; else fail "desktop entry: Name[ja]"; fi

# A desktop's view: with the package's share folder among the data folders,
# GIO takes a disc's install.dat (any case), the disc images and a cue sheet
# for the types the entry lists, and offers tarn-setup for each.
share=$WORK/share
mkdir -p "$share/mime/packages" "$share/applications" "$WORK/home" "$WORK/files"
cp "$pkg/usr/share/mime/packages/tarn-setup.xml" "$share/mime/packages/"
cp "$desktop" "$share/applications/"
check "update-mime-database takes tarn-setup.xml" update-mime-database "$share/mime"
update-desktop-database "$share/applications" 2>/dev/null
printf 'x' >"$WORK/files/install.dat"
printf 'x' >"$WORK/files/INSTALL.DAT"
printf '[CloneCD]\r\nVersion=3\r\n' >"$WORK/files/game.ccd"
printf 'FILE "game.bin" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' >"$WORK/files/game.cue"
for f in game.iso game.nrg game.mdf game.img; do head -c 4096 /dev/zero >"$WORK/files/$f"; done
mimetypes=$(grep '^MimeType=' "$desktop" | cut -d= -f2)
for f in install.dat INSTALL.DAT game.iso game.cue game.ccd game.nrg game.mdf game.img; do
  type=$(env -i PATH="$PATH" HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" \
    XDG_DATA_DIRS="$share:/usr/share" gio info -a standard::content-type "$WORK/files/$f" 2>&1 |
    sed -n 's/^ *standard::content-type: //p')
  if [ -n "$type" ] && [[ ";$mimetypes" == *";$type;"* ]]; then
    pass "$f is $type, which tarn-setup.desktop opens"
  else
    fail "$f has a type tarn-setup.desktop opens" "type: '$type', MimeType=$mimetypes"
  fi
done
# (GIO lists an application only when its program is found in PATH.)
for type in ${mimetypes//;/ }; do
  handlers=$(env -i PATH="$pkg/usr/bin:$PATH" HOME="$WORK/home" XDG_DATA_HOME="$WORK/home/.local/share" \
    XDG_DATA_DIRS="$share:/usr/share" gio mime "$type" 2>&1)
  if grep -q -P '^\ttarn-setup.desktop$' <<<"$handlers"; then pass "the file manager offers tarn-setup for $type"; else fail "the file manager offers tarn-setup for $type" "$handlers"; fi
done

# ---- installed for real into a clean Debian 12 ----
# The clean system is made once (debootstrap, minimal variant) and copied for
# every run; the packages apt downloads are kept beside it, so that a run
# after the first needs the network only for apt's lists.
CACHE=$ROOT/build/pkg-root
PRISTINE=$CACHE/debian12
RUN=$CACHE/run
mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(http[^ ]*\/debian\) .*/\1/p' /etc/apt/sources.list 2>/dev/null | head -1)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
in_root() { chroot "$RUN" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

chroot_ok=true
if [ "$(id -u)" -ne 0 ]; then
  fail "the clean Debian system needs root (chroot)"
  chroot_ok=false
elif [ ! -f "$PRISTINE/.complete" ]; then
  rm -rf "$PRISTINE.new"
  mkdir -p "$CACHE"
  if timed "debootstrap --variant=minbase bookworm (once)" "$CACHE/debootstrap.log" \
       debootstrap --variant=minbase bookworm "$PRISTINE.new" "$mirror"; then
    rm -rf "$PRISTINE"
    mv "$PRISTINE.new" "$PRISTINE"
    touch "$PRISTINE/.complete"
  else
    fail "debootstrap a clean Debian 12" "$(tail -5 "$CACHE/debootstrap.log")"
    chroot_ok=false
  fi
fi

if $chroot_ok; then
  rm -rf "$RUN"
  timed "copy of the clean system" /dev/null cp -a "$PRISTINE" "$RUN"
  # This machine's package sources (the mirror it reaches, and its updates).
  if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    rm -f "$RUN/etc/apt/sources.list"
    cp /etc/apt/sources.list.d/*.sources "$RUN/etc/apt/sources.list.d/"
  fi
  mkdir -p "$CACHE/archives"
  cp "$CACHE"/archives/*.deb "$RUN/var/cache/apt/archives/" 2>/dev/null
  cp /etc/resolv.conf "$RUN/etc/resolv.conf" 2>/dev/null
  mount -t proc proc "$RUN/proc"
  cp "$DEB" "$RUN/tmp/"
  timed "apt-get update" "$WORK/apt.log" in_root apt-get update -qq ||
    fail "apt-get update in the clean system" "$(tail -5 "$WORK/apt.log")"
  # What a desktop has before: the manual's reader and the databases whose
  # triggers take the menu entry and the file types.
  timed "apt-get install man-db shared-mime-info desktop-file-utils" "$WORK/apt.log" \
    in_root apt-get install -y -qq --no-install-recommends man-db shared-mime-info desktop-file-utils ||
    fail "the desktop's databases install" "$(tail -5 "$WORK/apt.log")"
  in_root find / -xdev -path /proc -prune -o -print 2>/dev/null | sort >"$WORK/before"

  if timed "apt-get install ./tarn-setup_${VERSION}_amd64.deb (with its dependencies)" "$WORK/install.log" \
       in_root sh -c "cd /tmp && apt-get install -y -q --no-install-recommends ./tarn-setup_${VERSION}_amd64.deb"; then
    pass "apt-get install ./tarn-setup_${VERSION}_amd64.deb"
  else
    fail "apt-get install ./tarn-setup_${VERSION}_amd64.deb" "$(tail -15 "$WORK/install.log")"
  fi
  rm -f "$RUN/tmp/tarn-setup_${VERSION}_amd64.deb"
  same "tarn-setup --version, installed" "tarn-setup $VERSION" "$(in_root tarn-setup --version 2>&1)"
  for p in "${PROGRAMS[@]:1}"; do
    same "$p --version, installed" "$p $VERSION" "$(in_root "$p" --version 2>&1)"
  done
  same "man -w tarn-setup" "/usr/share/man/man1/tarn-setup.1.gz" "$(in_root man -w tarn-setup 2>&1)"
  check "every library the programs need is there" \
    in_root sh -c '! ldd /usr/bin/tarn-setup /usr/bin/instdat /usr/bin/vfarc /usr/bin/discimg /usr/bin/galeconv /usr/bin/imgconv /usr/bin/mkdisc | grep "not found"'
  check "Qt's display plugin is there" test -f "$RUN/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so"
  check "the triggers took the file type" test -f "$RUN/usr/share/mime/application/x-tarn-install.xml"
  check "the triggers took the menu entry for install.dat" \
    grep -q '^application/x-tarn-install=.*tarn-setup.desktop' "$RUN/usr/share/applications/mimeinfo.cache"

  if timed "apt-get purge tarn-setup" "$WORK/purge.log" in_root apt-get purge -y -q tarn-setup; then
    pass "apt-get purge tarn-setup"
  else
    fail "apt-get purge tarn-setup" "$(tail -15 "$WORK/purge.log")"
  fi
  in_root find / -xdev -path /proc -prune -o -print 2>/dev/null | sort >"$WORK/after"
  # What the purge left of the package: none of its paths, no file named
  # after it, nothing of it in the databases the triggers rebuilt.
  left=$(comm -13 "$WORK/before" "$WORK/after" | grep -i 'tarn' || true)
  left+=$(grep -l -r -E 'tarn-setup|x-tarn-install' "$RUN/usr/share/applications" "$RUN/usr/share/mime" 2>/dev/null || true)
  same "the removal leaves nothing of the package" "" "$left"
  status=$(in_root dpkg-query -W -f '${Status}' tarn-setup 2>/dev/null)
  if [ -z "$status" ] || [[ $status == *" not-installed" ]]; then pass "dpkg has nothing of the package (not even its configuration)"; else fail "dpkg has nothing of the package" "$status"; fi

  # Keep what apt downloaded for the next run.
  cp -n "$RUN"/var/cache/apt/archives/*.deb "$CACHE/archives/" 2>/dev/null
  umount "$RUN/proc"
  rm -rf "$RUN"
fi

# ---- the zip of the Windows programs ----
if [ ! -f "$ZIP" ]; then
  fail "the zip exists: $ZIP"
else
  top=tarn-setup-$VERSION-windows-x64
  listing=$(unzip -Z1 "$ZIP" | grep -v '/$' | sort)
  echo "$listing" | sed 's/^/zip: /'
  same "the zip's files" \
    "$(printf "$top/%s\n" install.exe instdat.exe vfarc.exe discimg.exe galeconv.exe imgconv.exe mkdisc.exe README.md LICENSE COPYRIGHT.txt | sort)" \
    "$listing"
  unzip -q "$ZIP" -d "$WORK/zip"
  # A new Wine prefix, as on a machine that never ran Wine.
  prefix=$WORK/wineprefix
  start=$SECONDS
  version_out=$(env WINEPREFIX="$prefix" HOME="$WORK/home" WINEDEBUG=-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" wine "$WORK/zip/$top/install.exe" --version 2>/dev/null)
  echo "time install.exe --version in a new Wine prefix: $((SECONDS - start)) s"
  same "install.exe --version in a new Wine prefix" "tarn-setup $VERSION" "$(tr -d '\r' <<<"$version_out")"
  for p in instdat vfarc discimg galeconv imgconv mkdisc; do
    out=$(env WINEPREFIX="$prefix" HOME="$WORK/home" WINEDEBUG=-all wine "$WORK/zip/$top/$p.exe" --version 2>/dev/null | tr -d '\r')
    same "$p.exe --version" "$p $VERSION" "$out"
  done
  env WINEPREFIX="$prefix" wineserver -k 2>/dev/null
fi

echo "package: $passed passed, $failed failed"
[ $failed -eq 0 ]

#!/usr/bin/env bash
# Builds the Debian package in a release build folder and checks it as a user
# would meet it: its file list, both programs started from an extracted copy
# (the window offscreen, opening its help), the launcher and the compiled help,
# and lintian without errors.
#   scripts/check-package.sh [BUILD_DIR]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
rm -f "$build"/jvs-transfer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/jvs-transfer_*.deb)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$scratch/list"
echo "== package files =="
cat "$scratch/list"
grep -Ev '^/(usr|etc|lib)(/|$)' "$scratch/list" && fail "files outside /usr, /etc and /lib"
# Every user must reach what is installed, whatever the builder's umask.
dpkg-deb -c "$deb" | awk '($1 ~ /^d/ && $1 != "drwxr-xr-x") || ($1 ~ /^-/ && $1 !~ /^-r..r..r/)' |
  grep . && fail "folders or files not readable by every user"
expected=(/usr/bin/jvs /usr/bin/jvs-transfer
          /usr/share/applications/jvs-transfer.desktop
          /usr/share/icons/hicolor/256x256/apps/jvs-transfer.png
          /usr/share/man/man1/jvs.1.gz /usr/share/man/man1/jvs-transfer.1.gz
          /usr/share/doc/jvs-transfer/copyright /usr/share/doc/jvs-transfer/changelog.gz)
pages=0
for page in help/*.html; do
  expected+=("/usr/share/jvs-transfer/help/$(basename "$page")")
  pages=$((pages + 1))
done
for picture in help/*.png; do
  [ -e "$picture" ] && expected+=("/usr/share/jvs-transfer/help/$(basename "$picture")")
done
if command -v chmcmd >/dev/null; then expected+=(/usr/share/jvs-transfer/JVSHelp.chm); fi
for f in "${expected[@]}"; do grep -qx "$f" "$scratch/list" || fail "missing $f"; done
# The USB rule goes wherever its install rule puts it.
if [ -f packaging/60-jvs-transfer.rules ]; then
  grep -q '/rules\.d/60-jvs-transfer\.rules$' "$scratch/list" || fail "udev rule not packaged"
fi

dpkg-deb -x "$deb" "$scratch/root"
usr=$scratch/root/usr
grep -qx 'Exec=env JVS_SETTINGS=xdg jvs-transfer %f' "$usr/share/applications/jvs-transfer.desktop" ||
  fail "launcher does not set JVS_SETTINGS=xdg"
grep -q '^Path=' "$usr/share/applications/jvs-transfer.desktop" && fail "launcher sets Path="
[ "$(grep -c '^Exec=' "$usr/share/applications/jvs-transfer.desktop")" = 1 ] || fail "launcher needs exactly one Exec="
# The compiled help holds every page of the sources and its contents file.
chm=$usr/share/jvs-transfer/JVSHelp.chm
if [ -f "$chm" ]; then
  [ "$(head -c 4 "$chm")" = ITSF ] || fail "JVSHelp.chm is not a compiled help file"
  for name in JVSHelp.hhc $(cd help && ls -- *.html); do
    grep -qaF "/$name" "$chm" || fail "JVSHelp.chm lacks $name"
  done
fi

echo "== programs from the extracted package =="
version=$(dpkg-deb -f "$deb" Version)
[ "$("$usr/bin/jvs" --version)" = "jvs $version" ] || fail "jvs --version"
mkdir "$scratch/home" "$scratch/cwd"
out=$(cd "$scratch/cwd" && HOME=$scratch/home QT_QPA_PLATFORM=offscreen \
      timeout 60 "$usr/bin/jvs-transfer" --report-help 2>/dev/null) || fail "jvs-transfer did not end well"
echo "$out"
grep -qx "HELP $usr/share/jvs-transfer/help/00-start.html" <<<"$out" || fail "help not opened from the package"
grep -qx "CONTENTS $pages" <<<"$out" || fail "help contents incomplete"

# The manual keeps up with the program: every command and option it lists.
manual=$(gzip -dc "$usr/share/man/man1/jvs.1.gz" | sed 's/\\-/-/g; s/\\f[BIRP]//g')
help=$("$usr/bin/jvs" --help)
for word in $(sed -n 's/^  jvs \([a-z]\+\).*/\1/p' <<<"$help") $(grep -o -- '--[a-z-]*' <<<"$help" | sort -u); do
  grep -qw -- "$word" <<<"$manual" || fail "jvs.1 does not describe $word (see jvs --help)"
done

echo "== lintian =="
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"
echo "check-package: $deb is fine"

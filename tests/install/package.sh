#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the .deb from the build folder given, holds it to lintian (no error,
# no warning), looks at the files it installs, and runs both programs' --help
# and --version from it with no display. Exits 77 (skipped) without lintian.
set -euo pipefail
build=$1
version=$2
work=$3

for tool in lintian dpkg-deb man; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing (lintian, dpkg, man-db): skipped"
        exit 77
    fi
done

rm -rf "$work"
mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
deb=$(echo "$work"/roradaza_*.deb)
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
grep -E '^[EW]: ' "$work/lintian.log" >/dev/null && fail "lintian reports errors or warnings"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in usr/share/doc/roradaza/copyright usr/share/doc/roradaza/changelog.gz \
    usr/share/man/man1/Roradaza.1.gz usr/share/man/man1/roradaza-check.1.gz; do
    [ -f "$root/$file" ] || fail "$file is not installed"
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns on $(basename "$page"): $warnings"
    LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null | grep -q '^NOME' || fail "man shows no page for $(basename "$page")"
done
grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.metainfo.xml || fail "the metainfo's release is not $version"
zcat "$root/usr/share/doc/roradaza/changelog.gz" | head -1 | grep -qF "roradaza ($version)" || fail "the changelog's entry is not $version"

# No display of any kind: the answers must come before any window is made.
for program in Roradaza roradaza-check; do
    for option in --help --version; do
        status=0
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" "$option" 2>"$work/stderr") || status=$?
        [ "$status" -eq 0 ] || fail "$program $option exits $status: $(cat "$work/stderr")"
        [ ! -s "$work/stderr" ] || fail "$program $option writes to standard error: $(cat "$work/stderr")"
        case $option in
        --help) expected="Uso: $program" ;;
        --version) expected="$program $version" ;;
        esac
        [ "$(echo "$out" | head -1 | cut -c1-${#expected})" = "$expected" ] || fail "$program $option prints: $out"
    done
done
exit $failed

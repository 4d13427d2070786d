#!/usr/bin/env bash
# install_test.sh BUILD_DIR VERSION
# Installs into a temporary prefix and runs the installed tools from another
# working directory on a demo card made by the installed generator.
set -euo pipefail
build=$(cd "$1" && pwd) version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
fail() { echo "$*"; exit 1; }

cd /  # the installed tools must not depend on the working directory
out=$("$prefix/bin/corvane" --version)
[[ "$out" == "corvane $version" ]] || fail "corvane --version printed: $out"
out=$("$prefix/bin/corvaneplayer" --version)
[[ "$out" == "corvaneplayer $version" ]] || fail "corvaneplayer --version printed: $out"

# Every recording the installed scan finds on the installed generator's card,
# the installed probe reads.
card=$prefix/card
"$prefix/bin/corvane-mkdemo" --small --jobs 1 "$card" > /dev/null
scan=$("$prefix/bin/corvane" scan "$card")
mapfile -t files < <(grep -o '"file":"[^"]\+"' <<< "$scan" | sed 's/^"file":"//; s/"$//')
(( ${#files[@]} > 0 )) || fail "scan found no single-file recordings: $scan"
for f in "${files[@]}"; do
  probe=$("$prefix/bin/corvane" probe "$f") || fail "probe failed on $f"
  grep -q '^{"format":"V[0-9]\+",' <<< "$probe" || fail "probe printed: $probe"
done

data=$prefix/share/corvaneplayer
for f in "$data/Language/eng.lng" "$data/Language/chs.lng" "$data/Map/Google/gmap_cn.html" "$data/Map/Baidu/baidu.html"; do
  [[ -f "$f" ]] || fail "not installed: ${f#"$prefix/"}"
done
if [[ -f "$build/bin/Map/leaflet/leaflet.js" && ! -f "$data/Map/leaflet/leaflet.js" ]]; then
  fail "not installed: the map library beside the map pages"
fi
if [[ -f "$build/bin/libcorvane_mapbrowser.so" && ! -f "$prefix/lib/corvaneplayer/libcorvane_mapbrowser.so" ]]; then
  fail "not installed: the map browser module"
fi

# The man page names the version it documents.
man=$prefix/share/man/man1/corvane.1.gz
[[ -f "$man" ]] || fail "not installed: ${man#"$prefix/"}"
gzip -dc "$man" | grep -q "^\.TH CORVANE 1 .*\"CorvanePlayer $version\"" || fail "the man page does not name version $version"

# The desktop entry starts an installed program and shows an installed icon.
entry=$prefix/share/applications/corvaneplayer.desktop
[[ -f "$entry" ]] || fail "not installed: ${entry#"$prefix/"}"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[[ -n "$exec_program" && -x "$prefix/bin/$exec_program" ]] || fail "the desktop entry starts '$exec_program', which is not installed"
[[ -n "$icon" && -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ]] || fail "the desktop entry's icon '$icon' is not installed"
echo "install test passed"

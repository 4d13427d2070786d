#!/usr/bin/env bash
# install_test.sh BUILD_DIR MAKE_RECORDING VERSION
set -euo pipefail
build=$1 make_recording=$2 version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null

cd /  # the installed tools must not depend on the working directory
out=$("$prefix/bin/corvane" --version)
[[ "$out" == "corvane $version" ]] || { echo "corvane --version printed: $out"; exit 1; }
out=$("$prefix/bin/corvaneplayer" --version)
[[ "$out" == "corvaneplayer $version" ]] || { echo "corvaneplayer --version printed: $out"; exit 1; }

"$make_recording" "$prefix/rec.264"
probe=$("$prefix/bin/corvane" probe "$prefix/rec.264")
grep -q '"format":"V700"' <<< "$probe" || { echo "probe printed: $probe"; exit 1; }
grep -q '"duration":3' <<< "$probe" || { echo "probe printed: $probe"; exit 1; }

for f in share/corvaneplayer/Language/eng.lng share/corvaneplayer/Language/chs.lng \
         share/applications/corvaneplayer.desktop share/man/man1/corvane.1 share/icons/hicolor/scalable/apps/corvaneplayer.svg; do
  [[ -f "$prefix/$f" ]] || { echo "not installed: $f"; exit 1; }
done
if [[ -f "$build/bin/libcorvane_mapbrowser.so" && ! -f "$prefix/lib/corvaneplayer/libcorvane_mapbrowser.so" ]]; then
  echo "not installed: the map browser module"; exit 1
fi
[[ -f "$prefix/share/corvaneplayer/Map/Google/gmap_cn.html" ]] || { echo "not installed: the map pages"; exit 1; }
echo "install test passed"

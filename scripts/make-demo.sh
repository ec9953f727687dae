#!/usr/bin/env bash
# Lays out the demo branded copy in <build>/demo/ and starts it: make demo.
#   scripts/make-demo.sh <build-dir> [--no-start]
# The program reads its files from its executable's own directory, so the copy gets its own
# copy of the binary and of the web engine plugin beside it (which shows the welcome page), beside
# the sealed settings file, the banners, the skin and the icon.
set -euo pipefail

build=${1:?usage: make-demo.sh <build-dir> [--no-start]}
start=yes
[ "${2:-}" = "--no-start" ] && start=no
src=examples/demo-brand
demo=$build/demo

rm -rf "$demo"
mkdir -p "$demo"
cp "$build/bin/quillet" "$demo/quillet"
cp "$build/bin/quillet-webengine.so" "$demo/quillet-webengine.so"
"$build/bin/quillet-brand" seal "$src/dbsettings.txt" "$demo/dbsettings.dat"
# The banners are delivered under neutral names; the settings document names them.
cp "$src/topbanner.png" "$demo/banner1.dat"
cp "$src/animated.gif" "$demo/banner2.dat"
cp "$src/mainskin.qss" "$demo/mainskin.dat"
cp "$src/main.ico" "$demo/main.ico"
echo "demo copy laid out in $demo"

[ "$start" = yes ] || exit 0

# The demo's news service: the reference service on the port its settings name.
news_pid=
if command -v php >/dev/null && ! (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; then
    php -S 127.0.0.1:8080 -t examples/news-service >/dev/null 2>&1 &
    news_pid=$!
    trap 'kill $news_pid 2>/dev/null' EXIT
    echo "news service started on http://127.0.0.1:8080/"
fi
bash "$(dirname "$0")/start-quillet.sh" "$demo/quillet"

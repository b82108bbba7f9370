#!/usr/bin/env bash
# Takes the README's screenshot of a printer's "Papers" page in a real browser (headless
# Chromium): a private server on a free loopback port, a printer, two papers of a shop's own;
# the server is stopped by its process id whatever happens.
# Usage: scripts/screenshot-papers.sh [BUILD_DIR] [OUT.png]
set -euo pipefail
build=${1:-build}
out=${2:-docs/papers-page.png}
app=$(realpath "$build/tools/vad3-printer")
browser=$(command -v chromium || command -v chromium-browser || command -v google-chrome || true)
[ -n "$browser" ] || { echo "no Chromium here: apt-get install chromium" >&2; exit 1; }
dir=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
server=
cleanup() { [ -z "$server" ] || kill "$server" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
mkdir -p "$dir/hot/HotFolder"
export TMPDIR=$dir SNAP_COMMON=$dir HOME=$dir
"$app" server -o server-port="$port" -o listen-hostname=127.0.0.1 -o state-directory="$dir/state" \
    -o spool-directory="$dir/state/spool" -o log-file="$dir/log" -o hot-folders="$dir/hot" &
server=$!
for _ in $(seq 100); do "$app" printers >/dev/null 2>&1 && break; sleep 0.1; done
"$app" add -d HotFolder -m hotfolder -v "hotfolder://$dir/hot/HotFolder"
"$app" papers -d HotFolder --add "Shop poster" 500x700mm >/dev/null
"$app" papers -d HotFolder --add "Banner" 800x2000mm >/dev/null
"$app" papers -d HotFolder --default "Shop poster" >/dev/null
"$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1000,760 \
    --screenshot="$dir/shot.png" "http://127.0.0.1:$port/HotFolder/papers" >/dev/null 2>&1
mkdir -p "$(dirname "$out")"
cp "$dir/shot.png" "$out"
echo "$out"

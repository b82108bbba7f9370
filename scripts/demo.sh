#!/usr/bin/env bash
# The demo: a host loads the driver from its bundle and prints the built-in A3 test page into
# ./hot-folder; the job file is verified, described and rendered to ./hot-folder/demo.png.
set -euo pipefail
build=${1:-build}
folder=hot-folder
job="$folder/Demo page.vad3"

# The demo keeps its settings to itself: the user's page setup and catalogues stay untouched
# and cannot change what the demo prints.
export XDG_CONFIG_HOME="$PWD/demo-config"
mkdir -p "$folder"
rm -f "$job" "$folder/demo.png"
echo "== Printing the built-in test page through the driver"
"$build/tools/kivhost" print --job-name "Demo page" --hot-folder "$folder" --bundle "$build/VarnelPrinterDriver.bundle"
echo
echo "== vad3 verify"
"$build/tools/vad3" verify "$job"
echo
echo "== vad3 info"
"$build/tools/vad3" info "$job"
echo
echo "== vad3 render"
"$build/tools/vad3" render "$job" -o "$folder/demo.png"
echo "page 1 rendered to $folder/demo.png"

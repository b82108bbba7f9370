#!/usr/bin/env bash
# The demo: a host opens the driver from its bundle, makes a default print record and reads
# the catalogues back.
set -euo pipefail
build=${1:-build}
"$build/tools/kivhost" info --bundle "$build/VarnelPrinterDriver.bundle"

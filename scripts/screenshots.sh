#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the main window and the "Serial Port" dialog (offscreen) into docs/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build
cmake --build build --target nalvexa-screenshot
build/nalvexa-screenshot docs
ls -l docs/*.png

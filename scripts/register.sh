#!/usr/bin/env bash
# Registers every COM library of a program folder with regsvr: register.sh BIN_DIR
set -euo pipefail
bin="$1"
[ -x "$bin/regsvr" ] || exit 0
for lib in "$bin"/*.so; do
  [ -e "$lib" ] || continue
  "$bin/regsvr" /s "$lib"
done
# The encoder program records its install folder, where the main program looks for it
# ("WMEnc /unregserver" removes the entry again).
if [ -x "$bin/WMEnc" ]; then
  "$bin/WMEnc" /regserver
fi

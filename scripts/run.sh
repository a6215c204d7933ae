#!/usr/bin/env bash
# Starts the virtual module as COM1 and the tool against it, so that Open
# then Read All shows "Successful" with nothing else to choose. The
# module's link in the port folder takes precedence over /dev/ttyS0.
# Closing the window ends the module too.
#
#   scripts/run.sh [BUILD_DIR]      (make run does this after building)
set -euo pipefail

build=${1:-build}
sim="$build/kestrin-sim"
tool="$build/kestrin"
for f in "$sim" "$tool"; do
    [[ -x $f ]] || { echo "run.sh: $f is missing; run make first" >&2; exit 1; }
done

# The module prints one line, "COM<n> <device>", once it is listening.
exec {from_sim}< <(exec "$sim" --port 1)
sim_pid=$!
stop_sim() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
trap stop_sim EXIT

if ! read -r -t 10 -u "$from_sim" port device; then
    echo "run.sh: kestrin-sim did not start" >&2
    exit 1
fi
echo "virtual module on $port ($device); close the window to end it"

status=0
"$tool" || status=$?
exit "$status"

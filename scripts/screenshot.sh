#!/usr/bin/env bash
# Takes docs/screenshot.png: the tool on a virtual X server (Xvfb) with the
# virtual module as COM1, as a newcomer sees it after `make run`.
# Needs xvfb, xauth, x11-utils and imagemagick; run `make` first.
#
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT]
set -euo pipefail

build=${1:-build}
out=${2:-docs/screenshot.png}
sim="$build/kestrin-sim"
tool="$build/kestrin"
for f in "$sim" "$tool"; do
    [[ -x $f ]] || { echo "screenshot.sh: $f is missing; run make first" >&2; exit 1; }
done
for cmd in Xvfb xwininfo import; do
    command -v "$cmd" >/dev/null || { echo "screenshot.sh: $cmd is not installed" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"

# A private runtime folder and no fixed device table: the picture shows
# the virtual module alone, whatever ports this machine has.
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR=$runtime KESTRIN_DEVICE_TABLE=0
display=:$((90 + RANDOM % 100))
pids=()
cleanup() {
    # The tool first, then the module, the X server last.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$runtime"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 640x480x24 -nolisten tcp &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

exec {from_sim}< <(exec "$sim" --port 1)
pids+=($!)
read -r -t 10 -u "$from_sim" _ _ || { echo "screenshot.sh: kestrin-sim did not start" >&2; exit 1; }

"$tool" &
pids+=($!)
window=""
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Kestrin v3.1"/ {print $1; exit}')
    [[ -n $window ]] && break
    sleep 0.1
done
[[ -n $window ]] || { echo "screenshot.sh: the window did not appear" >&2; exit 1; }
sleep 1   # let the first paint land
import -window "$window" "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"

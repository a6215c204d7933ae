#!/usr/bin/env bash
# The sanitizer builds and the fuzzer, as CI runs them:
#   asan  every test under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan  the threaded suites (serial, link, protocol) under ThreadSanitizer;
#         the window stays out because Qt's own locks are not instrumented
#         and would show as races that are not there
#   fuzz  the framer fuzzer for 60 s, then a replay of the committed inputs
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
steps=("$@")
[[ ${#steps[@]} -eq 0 ]] && steps=(asan tsan fuzz)

scripts/deps.sh --hardening
for step in "${steps[@]}"; do
    echo "== $step"
    case "$step" in
    asan|tsan)
        cmake --preset "$step" >/dev/null
        cmake --build --preset "$step" -j "$jobs"
        ctest --preset "$step" -j "$jobs"
        ;;
    fuzz)
        make fuzz
        ;;
    *)
        echo "unknown step: $step" >&2
        exit 2
        ;;
    esac
done

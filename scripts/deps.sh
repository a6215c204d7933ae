#!/usr/bin/env bash
# Installs the Debian packages that building and testing kestrin needs,
# but only those that are missing, so that `make test` stays quick on a
# machine that already has them.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    fonts-dejavu-core
    python3 python3-serial
    xvfb xauth
    desktop-file-utils appstream groff-base
    dpkg-dev file
)
# Extra packages for the sanitizer and fuzzing builds.
if [[ "${1:-}" == "--hardening" ]]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

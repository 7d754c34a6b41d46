#!/usr/bin/env bash
# Installs the Debian packages PVelm needs to build, test and run, but only
# those that are missing, so repeated `make` runs cost nothing.
# --fuzz: also clang and its libFuzzer runtime, for `make fuzz`.
# --format: also clang-format, for `make format-check` (CI).
# ser2net is for the tests: they run the link through a network serial server.
set -euo pipefail

packages=(build-essential cmake qt6-base-dev qt6-serialport-dev libgl1-mesa-dev xvfb xauth desktop-file-utils ser2net)
case "${1:-}" in
--fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
--format) packages+=(clang-format) ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "error: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Quillet need,
# but only those that are missing, so a set-up machine pays nothing. A machine without
# apt (dpkg-query and apt-get) is told which packages the build needs, and the build goes on.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webchannel-dev libqt6opengl6-dev qt6-image-formats-plugins
    libgl-dev libssl-dev libxcb1-dev zlib1g-dev
    php-cli p7zip-full xvfb xauth
    clang-14 libclang-rt-14-dev clang-format
    fonts-dejavu-core fonts-liberation fonts-noto-core
)

# Peers that only the tests use: `age` opens and writes protected record files from outside,
# `keepassxc-cli` writes the CSV export that Import reads, React serves the controlled-input login page.
test_packages=(age keepassxc node-react node-react-dom)
if [ "${1:-}" = "--test" ]; then
    packages+=("${test_packages[@]}")
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "No dpkg-query here: packages are not checked or installed. The build needs these Debian"
    echo "packages, or what this system calls them (Qt 6.4 or later with WebEngine, OpenSSL 3, CMake 3.25):"
    echo "  ${packages[*]}"
    exit 0
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
    echo "No apt-get here: install these packages by other means; the build goes on without them:"
    echo "  ${missing[*]}"
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

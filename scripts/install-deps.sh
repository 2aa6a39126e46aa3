#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs. Idempotent: when everything is there
# it only checks and prints nothing. Run as root or with sudo available.
#   scripts/install-deps.sh          packages to build and run the program
#   scripts/install-deps.sh --test   also what the tests, fuzzers and benchmarks need
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libirrlicht-dev libglew-dev libglfw3-dev libegl-dev libgl1-mesa-dev libgl1-mesa-dri
  libimgui-dev libstb-dev fonts-liberation libcpp-httplib-dev libsqlite3-dev libssl-dev
  nlohmann-json3-dev ocl-icd-opencl-dev opencl-c-headers libpq-dev
  libbenchmark-dev
)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libgmock-dev clang clang-format libclang-rt-14-dev xvfb xauth xdotool pocl-opencl-icd
            lintian desktop-file-utils appstream man-db dpkg-dev fakeroot file
            nginx postgresql)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

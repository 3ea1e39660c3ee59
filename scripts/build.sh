#!/usr/bin/env bash
# Installs the build dependencies (Debian 12, as root or with sudo), then
# configures and builds into BUILD_DIR (default: build).
#   BUILD_TYPE   CMake build type (default RelWithDebInfo)
#   EXTRA_CMAKE  further CMake options, e.g. "-DORVO_SANITIZE=ON"
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake pkg-config libxml2-dev libxslt1-dev libsqlite3-dev
          libgtest-dev libgmock-dev libbenchmark-dev clang-format-14)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build_dir="${BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${EXTRA_CMAKE:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

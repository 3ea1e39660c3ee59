#!/usr/bin/env bash
# Installs the build dependencies (Debian 12, as root or with sudo), then
# configures and builds into BUILD_DIR (default: build), saying at each step
# what it is doing.
#   BUILD_TYPE   CMake build type (default RelWithDebInfo)
#   EXTRA_CMAKE  further CMake options, e.g. "-DORVO_SANITIZE=ON"
#   JOBS         parallel build jobs (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."

step() { printf '== %s\n' "$*"; }

jobs="${JOBS:-$(nproc)}"
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "scripts/build.sh: JOBS must be a whole number above 0, not '$jobs'" >&2
  exit 2
fi

packages=(build-essential cmake pkg-config libxml2-dev libxslt1-dev libsqlite3-dev
          libgtest-dev libgmock-dev libbenchmark-dev libmimalloc-dev clang-format-14
          chromium poppler-utils fonts-liberation)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  step "updating the package lists"
  $sudo_cmd apt-get update -q
  step "installing ${missing[*]} (this may take a few minutes)"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
else
  step "build dependencies already installed"
fi

build_dir="${BUILD_DIR:-build}"
build_type="${BUILD_TYPE:-RelWithDebInfo}"
step "configuring $build_type build in $build_dir"
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" --log-level=NOTICE ${EXTRA_CMAKE:-}
step "building with $jobs parallel jobs"
cmake --build "$build_dir" -j"$jobs"
step "built into $build_dir"

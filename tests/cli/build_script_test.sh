#!/usr/bin/env bash
# scripts/build.sh with stand-ins for dpkg, apt-get, id, nproc and cmake:
# on a machine lacking packages it says what it installs and lets apt-get
# show its progress; it says when it configures and builds; the job count
# comes from JOBS, else from nproc; a bad JOBS is refused.
set -euo pipefail
repository="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1"; chmod +x "$work/bin/$1"; }
stub dpkg '[ "$2" != libbenchmark-dev ]'
stub apt-get "echo \"apt-get \$*\" >>'$work/calls'"
stub id 'echo 0'
stub nproc 'echo 7'
stub cmake "echo \"cmake \$*\" >>'$work/calls'"

fail() { echo "FAILED: $*"; echo "--- output"; cat "$work/out"; echo "--- calls"; cat "$work/calls"; exit 1; }

PATH="$work/bin:$PATH" BUILD_DIR="$work/build" bash "$repository/scripts/build.sh" >"$work/out" 2>&1 ||
  fail "the script failed"
grep -q '^== installing libbenchmark-dev' "$work/out" || fail "no word of what it installs"
grep -q '^apt-get install -y -q libbenchmark-dev$' "$work/calls" || fail "apt-get silenced or not asked"
grep -q '^== configuring RelWithDebInfo build in' "$work/out" || fail "no word of configuring"
grep -q '^== building with 7 parallel jobs' "$work/out" || fail "no word of building"
grep -q "^cmake --build $work/build -j7\$" "$work/calls" || fail "the job count is not nproc's"

: >"$work/calls"
PATH="$work/bin:$PATH" BUILD_DIR="$work/build" JOBS=3 bash "$repository/scripts/build.sh" >"$work/out" 2>&1 ||
  fail "the script failed with JOBS=3"
grep -q "^cmake --build $work/build -j3\$" "$work/calls" || fail "JOBS=3 was not used"

if PATH="$work/bin:$PATH" JOBS=many bash "$repository/scripts/build.sh" >"$work/out" 2>&1; then
  fail "JOBS=many was accepted"
fi
grep -q "JOBS must be a whole number" "$work/out" || fail "no word of what is wrong with JOBS"
echo "build script: progress shown, job count from JOBS or nproc"

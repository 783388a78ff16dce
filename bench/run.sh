#!/usr/bin/env bash
# Builds brindle for release and benchmarks it against coreutils; see bench/README.md.
# Arguments go to bench.py (e.g. --quick, --fixtures typical, --pairs 9).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v strace >/dev/null || missing+=(strace)
[ -x /usr/bin/time ] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
bash scripts/install-deps run >&2

build_dir=${BRINDLE_BUILD_DIR:-build}/bench
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target brindle >&2
exec python3 bench/bench.py "$build_dir/BrindleApp/brindle" "$@"

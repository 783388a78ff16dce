#!/usr/bin/env bash
# Builds brindle for release and benchmarks it against coreutils; see bench/README.md.
# Arguments go to bench.py (e.g. --quick, --fixtures typical, --filesystems tmpfs, --pairs 9).
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v strace >/dev/null || missing+=(strace)
[ -x /usr/bin/time ] || missing+=(time)
[ -x /usr/bin/python3 ] || missing+=(python3)
command -v findmnt >/dev/null || missing+=(util-linux)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
bash scripts/install-deps run >&2

build_dir=${BRINDLE_BUILD_DIR:-build}/bench
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target brindle >&2

# The last brindle that did not sync, for the time from start to durable before and
# after (BRINDLE_BEFORE=none leaves it out).
before=${BRINDLE_BEFORE:-8c44b19}
before_args=()
if [ "$before" != none ]; then
  before_src=bench/.work/before-$before
  if [ ! -d "$before_src" ]; then
    mkdir -p "$before_src"
    git archive "$before" | tar -x -C "$before_src"
  fi
  cmake -S "$before_src" -B "$build_dir-before" -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build_dir-before" -j2 --target brindle >&2
  before_args=(--before "$build_dir-before/BrindleApp/brindle")
fi
exec /usr/bin/python3 bench/bench.py "$build_dir/BrindleApp/brindle" "${before_args[@]}" "$@"

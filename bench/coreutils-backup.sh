#!/usr/bin/env bash
# The same work as one `brindle backup`, done with coreutils: each item copied into a
# staging folder with cp -a (excluded paths removed from the copy afterwards), a
# manifest written, the old latest and day snapshot removed, staging copied into both
# with cp -a, staging removed, and everything written out with sync: a backup that is
# not on the disk yet is not done.
# Usage: coreutils-backup.sh HOME MACHINE_FOLDER DAY
set -euo pipefail
home=$1 machine=$2 day=$3
staging="$machine/.staging-coreutils"
mkdir -p "$staging" "$machine/Snapshots"
# A missing item is skipped, as Brindle skips it (no empty Codex/ or Agents/ folder either).
copy() { if [ -e "$1" ]; then mkdir -p "$(dirname "$2")" && cp -a "$1" "$2"; fi; }
copy "$home/.codex/automations" "$staging/Codex/automations"
copy "$home/.codex/AGENTS.md" "$staging/Codex/AGENTS.md"
copy "$home/.codex/config.toml" "$staging/Codex/config.toml"
copy "$home/.codex/rules" "$staging/Codex/rules"
copy "$home/.codex/skills" "$staging/Codex/skills"
copy "$home/.agents/skills" "$staging/Agents/skills"
rm -rf "$staging/Codex/automations/.run-jitter-salt" "$staging/Codex/skills/.system" \
  "$staging/Codex/skills/codex-primary-runtime"
printf '{\n  "createdAt" : "%s"\n}' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" >"$staging/manifest.json"
rm -rf "$machine/latest" "$machine/Snapshots/$day"
mkdir "$machine/latest" "$machine/Snapshots/$day"
cp -a "$staging/." "$machine/latest/"
cp -a "$staging/." "$machine/Snapshots/$day/"
rm -rf "$staging"
sync

#!/bin/sh
# Brindle started before any tray (autostarted before the panel) keeps running and
# docks its icon once a tray appears. Runs itself under xvfb-run; needs trayer and
# xwininfo (scripts/install-deps test installs them) and skips with status 77 where
# they are missing. Usage: tray-appears-later.sh path/to/brindle
set -u
brindle=$1
if [ -z "${INSIDE_XVFB:-}" ]; then
  for tool in xvfb-run Xvfb trayer xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed (bash scripts/install-deps test)"; exit 77; }
  done
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/home/.codex" "$work/run"
  chmod 700 "$work/run"
  echo "Be kind." >"$work/home/.codex/AGENTS.md"
  # timeout bounds the whole run; TMPDIR keeps xvfb-run's files in $work.
  INSIDE_XVFB=1 TMPDIR="$work" HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
    timeout -k 5 90 xvfb-run --auto-servernum --server-args="-screen 0 640x480x24 -nolisten tcp" sh "$0" "$brindle"
  exit $?
fi

unset WAYLAND_DISPLAY QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
"$brindle" >"$HOME/../brindle.log" 2>&1 &
tray=$!
trayer_pid=""
cleanup() { kill "$tray" $trayer_pid 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT
docked() { xwininfo -root -tree 2>/dev/null | grep -A8 '("panel" "trayer")' | grep -q '("brindle" "Brindle")'; }

i=0
until ls "$HOME/Brindle Backups"/*/latest/manifest.json >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -lt 300 ] || { echo "FAIL: no launch backup without a tray"; cat "$HOME/../brindle.log"; exit 1; }
  kill -0 "$tray" 2>/dev/null || { echo "FAIL: brindle ended without a tray"; cat "$HOME/../brindle.log"; exit 1; }
  sleep 0.1
done
sleep 3
kill -0 "$tray" 2>/dev/null || { echo "FAIL: brindle ended without a tray"; exit 1; }
docked && { echo "FAIL: docked before there was a tray"; exit 1; }

trayer --edge bottom --align right --widthtype pixel --width 96 --heighttype pixel --height 28 \
  --SetDockType true --transparent false >/dev/null 2>&1 &
trayer_pid=$!
i=0
until docked; do
  i=$((i + 1)); [ $i -lt 150 ] || { echo "FAIL: the icon did not appear in the tray"; xwininfo -root -tree | sed "s/^ *//"; cat "$HOME/../brindle.log"; exit 1; }
  sleep 0.1
done
kill -0 "$tray" 2>/dev/null || { echo "FAIL: brindle ended"; exit 1; }
echo "PASS: the icon docked once the tray appeared"

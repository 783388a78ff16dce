#!/bin/sh
# Runs the desktop's own validators over the files that installation puts
# in place, so that a session or a software centre never meets a file it
# rejects. Usage:
#   check-packaging.sh SERVICE TIMER METAINFO DESKTOP [PROGRAM]
# PROGRAM is the built brindle, if there is one. Exits 77, which ctest
# reports as skipped, when none of the validators is installed.
set -u

service=$1
timer=$2
metainfo=$3
desktop=$4
program=${5:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ran=0
failed=0

# Some validators only warn, on standard error, and still exit 0: for these
# any output at all counts as a failure.
check() {
    quiet_means_ok=$1
    shift
    ran=$((ran + 1))
    output=$("$@" 2>&1)
    status=$?
    if [ "$status" -ne 0 ] || { [ "$quiet_means_ok" = yes ] && [ -n "$output" ]; }; then
        echo "FAILED: $*"
        echo "$output"
        failed=$((failed + 1))
    else
        echo "ok: $*"
    fi
}

if command -v systemd-analyze >/dev/null 2>&1; then
    # verify insists that ExecStart names an executable. Until the units are
    # installed, the configured path usually holds nothing, so a copy points
    # at the built program (or a stand-in) instead; nothing else is changed.
    configured=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$service")
    if [ -x "$configured" ]; then
        stand_in=$configured
    elif [ -n "$program" ] && [ -x "$program" ]; then
        stand_in=$program
    else
        stand_in=$work/brindle
        printf '#!/bin/sh\nexit 0\n' >"$stand_in"
        chmod +x "$stand_in"
    fi
    mkdir "$work/units"
    sed "s|^ExecStart=$configured|ExecStart=$stand_in|" "$service" >"$work/units/$(basename "$service")"
    cp "$timer" "$work/units/"
    # A user manager needs a runtime folder even for an offline check.
    mkdir -m 700 "$work/runtime"
    check yes env XDG_RUNTIME_DIR="$work/runtime" systemd-analyze verify --user --man=no \
        "$work/units/$(basename "$service")" "$work/units/$(basename "$timer")"
else
    echo "skipped: systemd-analyze is not installed"
fi

if command -v appstreamcli >/dev/null 2>&1; then
    check no appstreamcli validate --no-net "$metainfo"
else
    echo "skipped: appstreamcli is not installed"
fi

if command -v desktop-file-validate >/dev/null 2>&1; then
    check yes desktop-file-validate "$desktop"
else
    echo "skipped: desktop-file-validate is not installed"
fi

if [ "$ran" -eq 0 ]; then
    exit 77
fi
[ "$failed" -eq 0 ]

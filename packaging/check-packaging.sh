#!/bin/sh
# Runs the desktop's own validators over the files that installation puts
# in place, so that a session, a software centre or man never meets a file
# it rejects. Usage:
#   check-packaging.sh SERVICE TIMER METAINFO DESKTOP MANPAGE [PROGRAM]
# PROGRAM is the built brindle, if there is one. A validator that is not
# installed is reported and skipped (exit 77 when none ran), unless
# BRINDLE_REQUIRE_CHECK_TOOLS is set, as scripts/test sets it: there every
# check must run.
set -u

service=$1
timer=$2
metainfo=$3
desktop=$4
manpage=$5
program=${6:-}

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

have() {
    command -v "$1" >/dev/null 2>&1 && return 0
    if [ -n "${BRINDLE_REQUIRE_CHECK_TOOLS:-}" ]; then
        echo "FAILED: $1 is not installed (scripts/install-deps test installs it)"
        failed=$((failed + 1))
    else
        echo "skipped: $1 is not installed"
    fi
    return 1
}

if have systemd-analyze; then
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
fi

# --strict fails on warnings too. Its pedantic note that the id has capitals
# stays: the id also names the autostart entries already on users' machines.
if have appstreamcli; then
    check no appstreamcli validate --strict --no-net "$metainfo"
fi

if have desktop-file-validate; then
    check yes desktop-file-validate "$desktop"
fi

# The page rendered as lintian renders it, where any warning counts, and the
# whatis line that apropos shows.
render_quietly() {
    man --warnings -E UTF-8 -l -Tutf8 -Z "$1" >/dev/null
}
if have man && have lexgrog; then
    check yes render_quietly "$manpage"
    check no lexgrog "$manpage"
fi

if [ "$ran" -eq 0 ] && [ "$failed" -eq 0 ]; then
    exit 77
fi
[ "$failed" -eq 0 ]

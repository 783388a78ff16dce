#!/bin/sh
# Builds the Debian package from a built tree and checks it as Debian would.
# Usage:
#   check-deb.sh BUILD_DIR INSTALL_PREFIX
# The package is only meaningful for the prefix /usr. Without it, or without
# the tools, the check is reported and skipped (exit 77), unless
# BRINDLE_REQUIRE_CHECK_TOOLS is set, as scripts/test sets it.
set -u

build=$1
prefix=$2

cannot() {
    if [ -n "${BRINDLE_REQUIRE_CHECK_TOOLS:-}" ]; then
        echo "FAILED: $*"
        exit 1
    fi
    echo "skipped: $*"
    exit 77
}

[ "$prefix" = /usr ] ||
    cannot "the package is checked only in a tree configured with -DCMAKE_INSTALL_PREFIX=/usr, not $prefix"
for tool in cpack dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null 2>&1 || cannot "$tool is not installed (scripts/install-deps test installs it)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
    echo "FAILED: cpack"
    cat "$work/cpack.log"
    exit 1
fi
deb=$(ls "$work"/*.deb)
failed=0

# Information and pedantic tags fail the check as well: a lost hardening flag
# shows only as one. None is left today; a tag ever kept on purpose goes into
# --suppress-tags, with the reason written here.
if lintian --info --display-info --pedantic --fail-on error,warning,info,pedantic "$deb" >"$work/lintian.log" 2>&1; then
    echo "ok: lintian"
else
    echo "FAILED: lintian --display-info --pedantic"
    cat "$work/lintian.log"
    failed=1
fi

# The plugins Qt loads at run time (the X11 platform, the SVG icon engine)
# come with libraries the program links, so the library scan names their
# packages; the program would start without them and show no icon.
depends=$(dpkg-deb -f "$deb" Depends)
names=$(printf '%s\n' "$depends" | tr ',' '\n' | awk '{ print $1 }')
twice=$(printf '%s\n' "$names" | sort | uniq -d)
for needed in libqt6gui6 libqt6svg6; do
    printf '%s\n' "$names" | grep -qx "$needed" || twice="$twice (and $needed is missing)"
done
if [ -n "$twice" ]; then
    echo "FAILED: Depends: $depends"
    echo "names twice: $twice"
    failed=1
else
    echo "ok: Depends: $depends"
fi

exit "$failed"

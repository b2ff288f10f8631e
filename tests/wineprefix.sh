# Sourced by the Wine test drivers. `use_wine_prefix DIR` checks that Wine is
# there (calling the driver's own `skip` when not), points Wine at a private
# prefix under DIR, quiet and without a display, creates it the first time,
# and makes sure every Wine process of it has ended when the driver exits.

use_wine_prefix() {
    local work="$1"
    if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
        skip "Wine is not installed; install the Debian packages wine64 and wine (scripts/setup)"
    fi
    export WINEPREFIX="$work/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # Nothing here needs a display; keep developer machines and CI alike.
    unset DISPLAY WAYLAND_DISPLAY
    trap 'timeout 120 wineserver -w || wineserver -k' EXIT
    mkdir -p "$work"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "creating the Wine prefix $WINEPREFIX (takes a while the first time)"
        wineboot -i >"$work/wineboot.log" 2>&1
        wineserver -w
    fi
}

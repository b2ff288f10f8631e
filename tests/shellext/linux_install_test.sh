#!/usr/bin/env bash
# The install step puts the Linux file-manager entries in place, valid and runnable.
#   linux_install_test.sh <cmake> <build dir> <work dir>
set -u
cmake=$1
build=$2
work=$3
. "$(dirname "$0")/../checks.sh"

rm -rf "$work"
mkdir -p "$work/home"
"$cmake" --install "$build" --prefix "$work/prefix" --component desktop >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

share="$work/prefix/share"
app="$share/applications/vellomarque.desktop"
menu="$share/kio/servicemenus/vellomarque-open.desktop"
script="$share/vellomarque/nautilus-scripts/Open With Vellomarque"
setup="$work/prefix/bin/vellomarque-nautilus-setup"
for f in "$app" "$menu" "$script" "$setup" "$share/mime/packages/vellomarque.xml"; do
    [ -f "$f" ] || fail "not installed: $f"
done
for f in "$menu" "$script" "$setup"; do
    [ -x "$f" ] || fail "not executable: $f"
done

if command -v desktop-file-validate >/dev/null 2>&1; then
    # Hints are advice; errors and warnings are not accepted.
    out=$(desktop-file-validate "$app" 2>&1)
    rc=$?
    echo "$out" | grep -v ': hint: ' | grep . && fail "desktop-file-validate reports problems"
    [ "$rc" -eq 0 ] || fail "desktop-file-validate exit code $rc"
else
    echo "SKIPPED: desktop-file-validate is missing (Debian package desktop-file-utils)"
    exit 77
fi

# The per-user step for GNOME Files links the installed script into the user's folder.
HOME="$work/home" XDG_DATA_HOME= "$setup" >/dev/null || fail "vellomarque-nautilus-setup"
link="$work/home/.local/share/nautilus/scripts/Open With Vellomarque"
[ -x "$link" ] || fail "no runnable script in the user's GNOME Files scripts"
[ "$(readlink -f "$link")" = "$(readlink -f "$script")" ] || fail "the link points elsewhere"
HOME="$work/home" XDG_DATA_HOME= "$setup" --remove >/dev/null || fail "--remove"
[ -e "$link" ] && fail "--remove left the script"

finish

#!/usr/bin/env bash
# cpack -G DEB makes a package that a fresh machine can install: both programs, the desktop
# entries, the help pages, the default type file, the manual pages and the completion under
# /usr, with the Qt libraries as dependencies. Unpacked, both programs run.
#   deb_test.sh <cpack> <build dir> <work dir>
set -u
cpack=$1
build=$2
work=$3
. "$(dirname "$0")/../checks.sh"

if ! command -v dpkg-deb >/dev/null 2>&1 || ! command -v dpkg-shlibdeps >/dev/null 2>&1; then
    echo "SKIPPED: dpkg-deb or dpkg-shlibdeps is missing (Debian packages dpkg, dpkg-dev)"
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"
(cd "$work" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
debs=("$work"/out/vellomarque_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { ls -l "$work/out"; echo "FAIL: no single .deb"; exit 1; }
deb=${debs[0]}
echo "package: $(basename "$deb")"

dpkg-deb -x "$deb" "$work/root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
usr="$work/root/usr"
for f in bin/vellomarque bin/vellomarque-cli bin/vellomarque-nautilus-setup \
    share/vellomarque/default.type share/vellomarque/help/index.htm \
    "share/vellomarque/help/Structure Error Message.htm" \
    share/applications/vellomarque.desktop share/kio/servicemenus/vellomarque-open.desktop \
    "share/vellomarque/nautilus-scripts/Open With Vellomarque" \
    share/icons/hicolor/scalable/apps/vellomarque.svg \
    share/man/man1/vellomarque.1 share/man/man1/vellomarque-cli.1 \
    share/bash-completion/completions/vellomarque-cli; do
    [ -f "$usr/$f" ] || fail "not in the package: /usr/$f"
done
# Nothing but /usr: no build paths, no test programs.
others=$(cd "$work/root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$others" ] || fail "outside /usr: $others"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libstdc++6; do
    echo "$depends" | grep -q "\b$lib\b" || fail "$lib is not a dependency"
done
[ "$(dpkg-deb -f "$deb" Package)" = vellomarque ] || fail "package name"

out=$("$usr/bin/vellomarque-cli" --help 2>&1) || fail "vellomarque-cli --help exit code $?"
echo "$out" | grep -q "print-type" || fail "vellomarque-cli --help: $out"
out=$(QT_QPA_PLATFORM=offscreen "$usr/bin/vellomarque" --version 2>&1) ||
    fail "vellomarque --version exit code $?"
echo "$out" | grep -q "^Vellomarque Version" || fail "vellomarque --version: $out"
# The packaged default type file is a valid hex view that opens read-only.
out=$("$usr/bin/vellomarque-cli" print-type "$usr/share/vellomarque/default.type" 2>&1) ||
    fail "print-type of the default type file: $out"
echo "$out" | tr -d ' \n' | grep -q '"viewSettings":\[0,' || fail "default type: Can Edit Data is on"

finish

#!/usr/bin/env bash
# cpack -G DEB makes a package that a fresh machine can install: both programs, the desktop
# entries, the help pages, the default type file, the manual pages, the completion and the
# documentation folder under /usr, with the Qt libraries as dependencies. Unpacked into a
# throwaway root, both programs run and print the package's version, and once the root's
# MIME and desktop databases are built from it, the program is the default for its own type
# files only: never for text or for every binary file.
#   deb_test.sh <cpack> <build dir> <work dir>
set -u
cpack=$1
build=$2
work=$3
. "$(dirname "$0")/../checks.sh"

for tool in dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev update-mime-database:shared-mime-info \
    update-desktop-database:desktop-file-utils desktop-file-validate:desktop-file-utils; do
    if ! command -v "${tool%%:*}" >/dev/null 2>&1; then
        echo "SKIPPED: ${tool%%:*} is missing (Debian package ${tool#*:})"
        exit 77
    fi
done

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
    share/bash-completion/completions/vellomarque-cli share/mime/packages/vellomarque.xml \
    share/doc/vellomarque/copyright share/doc/vellomarque/changelog.gz \
    share/doc/vellomarque/examples/sensors.bin share/doc/vellomarque/examples/sensors.bin.type; do
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

# A terminal emulator and dozens of other packages came along with more than this.
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$recommends" = xdg-utils ] || fail "Recommends: $recommends"

out=$("$usr/bin/vellomarque-cli" --help 2>&1) || fail "vellomarque-cli --help exit code $?"
echo "$out" | grep -q "print-type" || fail "vellomarque-cli --help: $out"
# Both programs and the changelog name the package's version.
version=$(dpkg-deb -f "$deb" Version)
out=$(QT_QPA_PLATFORM=offscreen "$usr/bin/vellomarque" --version 2>&1) ||
    fail "vellomarque --version exit code $?"
[ "$out" = "vellomarque $version" ] || fail "vellomarque --version: $out (package $version)"
out=$("$usr/bin/vellomarque-cli" --version 2>&1) || fail "vellomarque-cli --version exit code $?"
[ "$out" = "vellomarque-cli $version" ] || fail "vellomarque-cli --version: $out (package $version)"
line=$(gzip -dc "$usr/share/doc/vellomarque/changelog.gz" | head -n 1)
[ "$line" = "vellomarque ($version) unstable; urgency=medium" ] || fail "changelog: $line"
cmp -s "$usr/share/doc/vellomarque/examples/sensors.bin" "$(dirname "$0")/../../examples/sensors.bin" ||
    fail "the example is not the repository's"

# The desktop: what a system's triggers make of the package's files.
app="$usr/share/applications/vellomarque.desktop"
out=$(desktop-file-validate "$app" 2>&1)
echo "$out" | grep -v ': hint: ' | grep . && fail "desktop-file-validate: $out"
update-mime-database "$usr/share/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log"; fail "update-mime-database"; }
update-desktop-database "$usr/share/applications" || fail "update-desktop-database"
cache="$usr/share/applications/mimeinfo.cache"
for type in text/plain application/octet-stream; do
    grep -q "^$type=.*vellomarque" "$cache" && fail "the package claims $type: $(grep "^$type=" "$cache")"
done
grep -qx "application/x-vellomarque-type=vellomarque.desktop;" "$cache" ||
    fail "type files do not open with the program: $(cat "$cache")"
grep -qx "50:application/x-vellomarque-type:\*.type" "$usr/share/mime/globs2" ||
    fail "no glob for type files: $(grep vellomarque "$usr/share/mime/globs2")"
# Where xdg-utils is installed, ask it as the desktop would, seeing only the throwaway root.
if command -v xdg-mime >/dev/null 2>&1; then
    mkdir -p "$work/empty"
    ask() {
        env -i PATH="$PATH" HOME="$work/empty" XDG_DATA_HOME="$work/empty" XDG_CONFIG_HOME="$work/empty" \
            XDG_CONFIG_DIRS="$work/empty" XDG_DATA_DIRS="$usr/share" xdg-mime query default "$1"
    }
    [ -z "$(ask text/plain)" ] || fail "xdg-mime: text/plain opens with $(ask text/plain)"
    [ "$(ask application/x-vellomarque-type)" = vellomarque.desktop ] ||
        fail "xdg-mime: type files open with '$(ask application/x-vellomarque-type)'"
fi
# The packaged default type file is a valid hex view that opens read-only.
out=$("$usr/bin/vellomarque-cli" print-type "$usr/share/vellomarque/default.type" 2>&1) ||
    fail "print-type of the default type file: $out"
echo "$out" | tr -d ' \n' | grep -q '"viewSettings":\[0,' || fail "default type: Can Edit Data is on"

finish

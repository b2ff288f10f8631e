#!/usr/bin/env bash
# Runs one group of the shell extension's Windows tests under Wine, in a private prefix.
#
#   wine_test.sh exports|registration|handler <cross build dir> <work dir>
#
# Exit 77 (reported by ctest as skipped) when the cross compiler or Wine is missing.
set -u

mode=$1
cross=$2
work=$3

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if [ -z "$cross" ]; then
    skip "the mingw-w64 cross compiler was not found when configuring; install" \
        "g++-mingw-w64-x86-64-posix and mingw-w64-x86-64-dev (scripts/setup) and reconfigure"
fi
for f in qztshell.dll wine-tests/qzt_harness.exe stub/vellomarque.exe; do
    if [ ! -f "$cross/$f" ]; then
        echo "FAIL: $cross/$f was not built"
        exit 1
    fi
done

# shellcheck source=../wineprefix.sh
. "$(dirname "$0")/../wineprefix.sh"
use_wine_prefix "$work"

drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/qzt/Shell Ext" "$drive/qzt/work"
cp "$cross/qztshell.dll" "$drive/qzt/qztshell.dll"
cp "$cross/qztshell.dll" "$drive/qzt/Shell Ext/qztshell.dll"
cp "$cross/stub/vellomarque.exe" "$drive/qzt/stub.exe"
dll='C:\qzt\qztshell.dll'
blankDll='C:\qzt\Shell Ext\qztshell.dll'
harness="$cross/wine-tests/qzt_harness.exe"
failures=0

clsid='{63944868-2341-1AF3-3467-023456789AB3}'
clsidKey="HKCR\\CLSID\\$clsid"
handlers='HKCR\*\shellex\ContextMenuHandlers'
approved='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
other='{0D2E74C4-3C34-11D2-A27E-00C04FC30871}'

# The data of one string value ("" names the default value), or "<missing>".
value() {
    local key=$1 name=$2 out
    if [ -z "$name" ]; then
        out=$(wine reg query "$key" /ve 2>/dev/null | tr -d '\r') || { echo "<missing>"; return; }
        name='(Default)'
    else
        out=$(wine reg query "$key" /v "$name" 2>/dev/null | tr -d '\r') || {
            echo "<missing>"
            return
        }
    fi
    printf '%s\n' "$out" | awk -v name="$name" '
        index($0, "    " name "    REG_SZ    ") == 1 {
            print substr($0, length("    " name "    REG_SZ    ") + 1); found = 1
        }
        END { if (!found) print "<missing>" }'
}

expectValue() {
    local got
    got=$(value "$1" "$2")
    [ "$got" = "$3" ] || fail "$1 [${2:-(Default)}] is [$got], expected [$3]"
}

keyExists() {
    wine reg query "$1" >/dev/null 2>&1
}

regsvr() {
    wine regsvr32 /s "$@" >/dev/null 2>&1
}

case "$mode" in
exports)
    wine "$harness" exports "$dll" || failures=$((failures + 1))
    ;;

handler)
    wine "$harness" com "$dll" 'C:\qzt\stub.exe' 'C:\qzt\work' || failures=$((failures + 1))
    ;;

registration)
    # Start clean whatever an interrupted earlier run left behind.
    regsvr /u "$dll"
    wine reg delete "$handlers\\OtherHandler" /f >/dev/null 2>&1
    wine reg delete "$approved" /v "$clsid" /f >/dev/null 2>&1

    regsvr "$dll" || fail "regsvr32 $dll"
    expectValue "$clsidKey" "" "Context Menu Shell Extension"
    expectValue "$clsidKey\\InprocServer32" "" "$dll"
    expectValue "$clsidKey\\InprocServer32" "ThreadingModel" "Apartment"
    expectValue 'HKCR\*\shellex' "" ""
    expectValue "$handlers" "" ""
    expectValue "$handlers\\OpenWithVellomarque" "" "$clsid"
    expectValue "$approved" "$clsid" "Context Menu Shell Extension"

    # Another program's handler shares ContextMenuHandlers: unregistering keeps it.
    wine reg add "$handlers\\OtherHandler" /ve /d "$other" /f >/dev/null 2>&1
    regsvr /u "$dll" || fail "regsvr32 /u with another handler present"
    keyExists "$handlers\\OpenWithVellomarque" && fail "OpenWithVellomarque left behind"
    keyExists "$clsidKey\\InprocServer32" && fail "InprocServer32 left behind"
    keyExists "$clsidKey" && fail "the class key left behind"
    expectValue "$handlers\\OtherHandler" "" "$other"
    # The approval stays, as does the shellex key.
    expectValue "$approved" "$clsid" "Context Menu Shell Extension"
    keyExists 'HKCR\*\shellex' || fail "*\\shellex removed"

    # Alone, the shared key goes with our handler.
    wine reg delete "$handlers\\OtherHandler" /f >/dev/null 2>&1
    regsvr "$dll" || fail "regsvr32 again"
    regsvr /u "$dll" || fail "regsvr32 /u alone"
    keyExists "$handlers" && fail "the empty ContextMenuHandlers key left behind"
    keyExists 'HKCR\*\shellex' || fail "*\\shellex removed"
    # Unregistering what is not registered is not an error.
    regsvr /u "$dll" || fail "regsvr32 /u twice"

    # From a folder with a blank the server is registered by its short path.
    regsvr "$blankDll" || fail "regsvr32 from a folder with a blank"
    wine "$harness" regpath "$blankDll" || fail "registered short path"
    regsvr /u "$blankDll" || fail "regsvr32 /u from a folder with a blank"
    keyExists "$clsidKey" && fail "the class key left behind"

    # Registry errors are reported by both entry points.
    wine "$harness" regfail "$dll" || fail "registry errors"

    # A library that is not there is reported as such.
    regsvr 'C:\qzt\missing.dll' && fail "regsvr32 of a missing library succeeded"
    ;;

*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all checks passed"
exit 0

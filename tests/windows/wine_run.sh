#!/usr/bin/env bash
# Runs the cross-built engine tests, or a set of vellomarque-cli commands, under
# Wine in a private prefix.
#
#   wine_run.sh engine <cross build dir> <work dir> <what is missing>
#   wine_run.sh cli    <cross build dir> <work dir> <what is missing> <native cli> <examples dir>
#
# The cli group runs each command with the native tool and with the Windows one
# and compares: exit codes, files written byte for byte, and what is printed
# with only the console's CR LF line ends turned back into LF.
#
# Exit 77 (reported by ctest as skipped) when the cross compiler, GoogleTest's
# sources or Wine are missing.
set -u

mode=$1
cross=$2
work=$3
missing=$4

skip() {
    echo "SKIPPED: $*"
    exit 77
}

if [ -n "$missing" ] || [ -z "$cross" ]; then
    skip "${missing:-the cross build} was not found when configuring; install" \
        "g++-mingw-w64-x86-64-posix, mingw-w64-x86-64-dev and googletest (scripts/setup)" \
        "and reconfigure"
fi
for f in engine_tests.exe vellomarque-cli.exe; do
    if [ ! -f "$cross/$f" ]; then
        echo "FAIL: $cross/$f was not built"
        exit 1
    fi
done

# shellcheck source=../wineprefix.sh
. "$(dirname "$0")/../wineprefix.sh"
use_wine_prefix "$work"

case "$mode" in
engine)
    # The tests make their folders in the prefix's own temporary folder.
    wine "$cross/engine_tests.exe" --gtest_brief=1 2>&1 | tr -d '\r'
    exit "${PIPESTATUS[0]}"
    ;;
cli)
    native=$5
    examples=$6
    failures=0
    run=$work/cli
    rm -rf "$run"
    mkdir -p "$run/native" "$run/windows"
    for side in native windows; do
        cp "$examples/sensors.bin" "$examples/sensors.bin.type" "$examples/sensors.json" \
            "$run/$side/"
    done

    # One command on both sides, from inside each side's folder so that the
    # file names (and the messages quoting them) are the same. The native exit
    # code must be the expected one, so that two equal failures never pass.
    both() {
        local name=$1 expect=$2
        shift 2
        (cd "$run/native" && "$native" "$@" >"$name.out" 2>"$name.err"; echo $? >"$name.code")
        (cd "$run/windows" && wine "$cross/vellomarque-cli.exe" "$@" >"$name.out" 2>"$name.err"
         echo $? >"$name.code")
        # Console line ends are turned back, except where the bytes are the
        # output itself (raw-*: written in binary on both sides).
        case "$name" in
        raw-*) sed -i 's/\r$//' "$run/windows/$name.err" ;;
        *) sed -i 's/\r$//' "$run/windows/$name.out" "$run/windows/$name.err" ;;
        esac
        if [ "$(cat "$run/native/$name.code")" != "$expect" ]; then
            echo "FAIL: $name: natively exit code $(cat "$run/native/$name.code"), expected $expect"
            cat "$run/native/$name.err"
            failures=$((failures + 1))
        fi
        if ! cmp -s "$run/native/$name.code" "$run/windows/$name.code"; then
            echo "FAIL: $name: exit code $(cat "$run/windows/$name.code")," \
                "natively $(cat "$run/native/$name.code")"
            cat "$run/windows/$name.err"
            failures=$((failures + 1))
        fi
        if ! cmp -s "$run/native/$name.out" "$run/windows/$name.out"; then
            echo "FAIL: $name: the output differs"
            diff "$run/native/$name.out" "$run/windows/$name.out" | head -n 20
            failures=$((failures + 1))
        fi
    }
    # A file written by the command, byte for byte.
    sameFile() {
        if [ ! -s "$run/native/$1" ]; then
            echo "FAIL: $1 was not written natively"
            failures=$((failures + 1))
        elif ! cmp "$run/native/$1" "$run/windows/$1"; then
            echo "FAIL: $1 differs"
            failures=$((failures + 1))
        fi
    }

    both decode-int 0 decode 4Bsigned 4 "FE FF FF FF"
    both decode-date 0 decode 8BDateTime 8 "00 00 00 00 00 40 E6 40"
    both decode-char 0 decode string 4 "E9 41 80 00"
    both encode-double 0 encode 8BDouble 8 "-1234.5"
    both encode-text 0 encode string 6 "été"
    both encode-bad 1 encode 2Bsigned 2 "12x"
    both print-type 0 print-type sensors.bin.type
    both print-type-sized 0 print-type sensors.bin.type --data-size 100
    both check 0 check sensors.bin
    both check-missing 1 check missing.bin
    both raw-export-text 0 export-text sensors.bin
    both raw-export-dash 0 export-text sensors.bin -o -
    both raw-cut-to-stdout 0 cut-blank sensors.bin -o - --type-out piped.type
    sameFile piped.type
    both export-file 0 export-text sensors.bin -o sensors.txt
    sameFile sensors.txt
    both write-type 0 write-type sensors.json written.type
    sameFile written.type
    both cut-blank 0 cut-blank sensors.bin -o small.bin
    sameFile small.bin
    sameFile small.bin.type
    both cut-blank-onto-input 1 cut-blank sensors.bin -o sensors.bin
    both inspect-hex 0 inspect --hex "41 42 43 44 45 46 47 48"
    both inspect-file 0 inspect sensors.bin 0x20
    both split 0 split sensors.bin pieces.bin --piece 64:128 --piece 0:16 --piece 100:90
    sameFile pieces.bin
    both split-append 0 split sensors.bin pieces.bin --piece 1:2 --append
    sameFile pieces.bin
    both split-onto-source 1 split sensors.bin sensors.bin --piece 0:1
    both find 0 find sensors.bin --cond 1Bunsigned=0 --cond 1Bunsigned=1 --range 8
    both compare 1 compare sensors.bin sensors.bin.type --max 20
    both compare-same 0 compare sensors.bin sensors.bin
    both export-c 0 export-c sensors.bin
    both export-ksy 0 export-ksy sensors.bin

    both raw-split-stdout 0 split sensors.bin - --piece 0:64
    both cut-blank-one-file 1 cut-blank sensors.bin -o one.bin --type-out one.bin

    # Names outside any single-byte code page, in arguments and on disk.
    for side in native windows; do
        cp "$examples/sensors.bin" "$run/$side/données-€-数据.bin"
        cp "$examples/sensors.bin.type" "$run/$side/données-€-数据.bin.type"
        cp "$examples/sensors.json" "$run/$side/struct-é.json"
        mkdir -p "$run/$side/sortie é"
    done
    both utf8-check 0 check "données-€-数据.bin"
    both utf8-export 0 export-text "données-€-数据.bin" -o "sortie é/texte-€.txt"
    sameFile "sortie é/texte-€.txt"
    both utf8-cut 0 cut-blank "données-€-数据.bin" -o "sortie é/petit-数据.bin"
    sameFile "sortie é/petit-数据.bin"
    sameFile "sortie é/petit-数据.bin.type"
    both utf8-write-type 0 write-type "struct-é.json" "sortie é/écrit.type"
    sameFile "sortie é/écrit.type"
    both utf8-onto-input 1 cut-blank "données-€-数据.bin" -o "données-€-数据.bin.type"
    both utf8-split 0 split "données-€-数据.bin" "sortie é/morceau-€.bin" --piece 8:40
    sameFile "sortie é/morceau-€.bin"

    # An edit replaces the pair under its lock, through a commit record.
    both edit-records 0 add-records sensors.bin Readings 0 2 --fill-near
    sameFile sensors.bin
    sameFile sensors.bin.type
    # A field rewrite goes straight into the new data file; an edit that
    # changes nothing writes nothing.
    both edit-field 0 change-kind sensors.bin Readings 1 8BDouble 8
    sameFile sensors.bin
    sameFile sensors.bin.type
    both edit-nothing 0 add-records sensors.bin Readings 0 0
    if ! cmp -s "$run/native/edit-nothing.err" "$run/windows/edit-nothing.err"; then
        echo "FAIL: edit-nothing: the message differs"
        failures=$((failures + 1))
    fi
    for side in native windows; do
        if ls -A "$run/$side" | grep -q '^\.vm'; then
            echo "FAIL: the edit left files beside the pair ($side)"
            failures=$((failures + 1))
        fi
    done

    # The example's own type file is what write-type makes of its JSON.
    if ! cmp "$run/windows/written.type" "$examples/sensors.bin.type"; then
        echo "FAIL: write-type under Wine does not give the bundled type file"
        failures=$((failures + 1))
    fi

    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s); outputs kept in $run"
        exit 1
    fi
    echo "all commands agree"
    exit 0
    ;;
*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac

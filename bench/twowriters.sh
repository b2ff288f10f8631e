#!/usr/bin/env bash
# Two writers of one file at the same moment: every round, either both
# changes land (one after the other) or one is refused with exit 1 and the
# other lands alone. Never one lost while both say they succeeded.
#
#   bench/twowriters.sh BUILD_DIR [ROUNDS] [FOLDER]
#
# Edits: add-records on two segments of one data file, at once. Appends:
# split --append of two different pieces to one target, at once, while a
# shell appends lines with >> as well. ROUNDS each (default 100). Not part of
# the tests.
set -u

build=$(cd "${1:?usage: twowriters.sh BUILD_DIR [ROUNDS] [FOLDER]}" && pwd) || exit 2
rounds=${2:-100}
base=${3:-${TMPDIR:-/tmp}}
cli=$build/cli/vellomarque-cli
[ -x "$cli" ] || { echo "missing $cli"; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d "$base/twowriters.XXXXXX") && [ -n "$work" ] && [ -d "$work" ] ||
    { echo "cannot make a folder in $base"; exit 2; }
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
cd "$work" || exit 2

# The example, grown to 16 MiB of readings so that the edits take a while.
cp "$source_dir/examples/sensors.bin" small.bin
cp "$source_dir/examples/sensors.bin.type" small.bin.type
"$cli" add-records small.bin Readings 0 700000 --fill-near >/dev/null || exit 2
records() { "$cli" print-type "$1.type" --data-size "$(stat -c %s "$1")" |
    python3 -c "import json,sys; s={x['name']: x for x in json.load(sys.stdin)['segments']}; print(s['Readings']['length']//24, s['Ledger']['length']//32)"; }
read -r r0 l0 < <(records small.bin)

both=0 oneRefused=0 lost=0 otherFailure=0
for ((round = 0; round < rounds; ++round)); do
    cp small.bin d.bin
    cp small.bin.type d.bin.type
    "$cli" add-records d.bin Readings 0 5 >/dev/null 2>a.err &
    a=$!
    "$cli" add-records d.bin Ledger 0 1 >/dev/null 2>b.err &
    b=$!
    wait $a; ca=$?
    wait $b; cb=$?
    read -r r l < <(records d.bin)
    gotA=$((r == r0 + 5)) gotB=$((l == l0 + 1))
    "$cli" check d.bin >/dev/null 2>&1
    checked=$?
    if [ $ca -eq 0 ] && [ $cb -eq 0 ] && [ $gotA -eq 1 ] && [ $gotB -eq 1 ]; then
        both=$((both + 1))
    elif { [ $ca -eq 1 ] && [ $cb -eq 0 ] && [ $gotA -eq 0 ] && [ $gotB -eq 1 ]; } ||
        { [ $cb -eq 1 ] && [ $ca -eq 0 ] && [ $gotB -eq 0 ] && [ $gotA -eq 1 ]; }; then
        oneRefused=$((oneRefused + 1))
    elif [ $ca -eq 0 ] && [ $cb -eq 0 ]; then
        lost=$((lost + 1))
    else
        otherFailure=$((otherFailure + 1))
        cat a.err b.err
    fi
    [ $checked -ge 2 ] && echo "round $round: check finds errors in the pair"
done
printf 'edits:   %d rounds: both landed %d, one refused (exit 1) and the other landed %d, LOST %d, other failures %d\n' \
    "$rounds" "$both" "$oneRefused" "$lost" "$otherFailure"
edits_lost=$lost

# Appends: two pieces of 8 MiB from a source of 16 MiB, and shell lines.
head -c $((16 << 20)) /dev/urandom >src.bin
head -c $((8 << 20)) src.bin >pieceA
tail -c $((8 << 20)) src.bin >pieceB
both=0 oneRefused=0 lost=0 otherFailure=0 shellLost=0
for ((round = 0; round < rounds; ++round)); do
    printf 'HEAD\n' >t.bin
    "$cli" split src.bin t.bin --piece 0:$((8 << 20)) --append >/dev/null 2>a.err &
    a=$!
    "$cli" split src.bin t.bin --piece $((8 << 20)):$((16 << 20)) --append >/dev/null 2>b.err &
    b=$!
    for i in 1 2 3 4 5; do printf 'shell line %d\n' "$i" >>t.bin; done
    wait $a; ca=$?
    wait $b; cb=$?
    # Take the shell's lines out (they may land anywhere between the writes
    # of the pieces, never inside one write) and compare what is left.
    python3 - "$ca" "$cb" >verdict <<'EOF'
import sys
ca, cb = int(sys.argv[1]), int(sys.argv[2])
t = open("t.bin", "rb").read()
lines = [b"shell line %d\n" % i for i in range(1, 6)]
shell_ok = all(t.count(l) == 1 for l in lines)
for l in lines:
    t = t.replace(l, b"", 1)
A, B = open("pieceA", "rb").read(), open("pieceB", "rb").read()
if not t.startswith(b"HEAD\n"):
    print("other", shell_ok); sys.exit()
t = t[5:]
if ca == 0 and cb == 0 and t in (A + B, B + A):
    print("both", shell_ok)
elif (ca, cb) == (1, 0) and t == B or (ca, cb) == (0, 1) and t == A:
    print("one", shell_ok)
elif ca == 0 and cb == 0:
    print("lost", shell_ok)
else:
    print("other", shell_ok)
EOF
    read -r verdict shellOk <verdict
    case $verdict in
    both) both=$((both + 1)) ;;
    one) oneRefused=$((oneRefused + 1)) ;;
    lost) lost=$((lost + 1)) ;;
    *) otherFailure=$((otherFailure + 1)); cat a.err b.err ;;
    esac
    [ "$shellOk" = True ] || shellLost=$((shellLost + 1))
done
printf 'appends: %d rounds: both landed %d, one refused (exit 1) and the other landed %d, LOST %d, other failures %d; rounds losing a shell line %d\n' \
    "$rounds" "$both" "$oneRefused" "$lost" "$otherFailure" "$shellLost"
[ "$edits_lost" -eq 0 ] && [ "$lost" -eq 0 ] && [ "$shellLost" -eq 0 ]

#!/usr/bin/env bash
# Kills writers at random moments and checks that the next command to open the
# files finds the old pair or the new pair, never a mix of the two.
#
#   bench/killloop.sh BUILD_DIR [ROUNDS] [FOLDER]
#
# BUILD_DIR is a build configured with -DVM_BUILD_BENCH=ON (vellomarque-cli and
# bench/saveprobe built). Each of add-records, change-kind, cut-blank and the
# program's Save File (saveprobe: the engine's path of the program's save) is
# run ROUNDS times (default 300) on a data file of 32 MiB and killed with
# SIGKILL after a random time within its usual running time; then
# `vellomarque-cli info` opens the files, which completes or undoes a pair
# commit left behind. Not part of the tests: it takes minutes.
set -u

build=$(cd "${1:?usage: killloop.sh BUILD_DIR [ROUNDS] [FOLDER]}" && pwd) || exit 2
rounds=${2:-300}
base=${3:-${TMPDIR:-/tmp}}
cli=$build/cli/vellomarque-cli
save=$build/bench/saveprobe
for tool in "$cli" "$save"; do
    [ -x "$tool" ] || { echo "missing $tool (configure with -DVM_BUILD_BENCH=ON)"; exit 2; }
done

# Every removal below works inside this folder: without it, stop at once.
work=$(mktemp -d "$base/killloop.XXXXXX") && [ -n "$work" ] && [ -d "$work" ] ||
    { echo "cannot make a folder in $base"; exit 2; }
trap 'rm -rf "$work"' EXIT
# The tool's working copies go to a folder of their own, to count leftovers.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR" "$work/run"
cd "$work/run" || exit 2

# 32 MiB: a header, 1,398,000 readings of 24 bytes, a ledger to the end.
records=1398000
cat >"$work/big.json" <<EOF
{"viewSettings": [1, 1, 1, 2],
 "segments": [
  {"name": "Header", "begin": 0, "length": 32, "recordLength": 32, "anomaly": true,
   "fields": [{"kindName": "string", "start": 0, "length": 4, "memo": "magic"}]},
  {"name": "Readings", "begin": 32, "length": $((records * 24)), "recordLength": 24,
   "fields": [{"kindName": "4Bunsigned", "start": 0, "memo": "id"},
              {"kindName": "4BFloat", "start": 4, "memo": "temperature"},
              {"kindName": "8BDouble", "start": 8, "memo": "pressure"},
              {"kindName": "unKnow", "start": 16, "length": 8, "memo": "raw"}]},
  {"name": "Ledger", "begin": $((32 + records * 24)), "length": 4096, "recordLength": 32,
   "toFilesEnd": true,
   "fields": [{"kindName": "8BCurrency", "start": 0, "memo": "amount"},
              {"kindName": "unKnow", "start": 8, "length": 24, "memo": "rest"}]}]}
EOF
size=$((32 + records * 24 + 4096))
head -c "$size" /dev/urandom >"$work/old.bin"
"$cli" write-type "$work/big.json" "$work/old.bin.type" || exit 2
# The file the save writes: the same length, other bytes.
head -c "$size" /dev/urandom >"$work/saved.bin"
# What a cut-blank output held before: another pair.
head -c 1000 /dev/urandom >"$work/old-out.bin"
cp "$work/old.bin.type" "$work/old-out.bin.type"

restore() {
    rm -rf "${work:?}/run"/* "${work:?}/run"/.[!.]* 2>/dev/null
    cp "$work/old.bin" d.bin
    cp "$work/old.bin.type" d.bin.type
    cp "$work/old-out.bin" out.bin
    cp "$work/old-out.bin.type" out.bin.type
}
pairHash() { cat "$1" "$1.type" 2>/dev/null | sha1sum | cut -c1-40; }
nowMs() { echo $(($(date +%s%N) / 1000000)); }

# op NAME: the command, and which pair it writes.
opCommand() {
    case $1 in
    add-records) echo "$cli add-records d.bin Readings 1000 5" ;;
    change-kind) echo "$cli change-kind d.bin Readings 1 8BDouble 8" ;;
    cut-blank) echo "$cli cut-blank d.bin -o out.bin" ;;
    save) echo "$save d.bin $work/saved.bin" ;;
    esac
}
opPair() { if [ "$1" = cut-blank ]; then echo out.bin; else echo d.bin; fi; }

total_mix=0
for op in add-records change-kind cut-blank save; do
    cmd=$(opCommand "$op")
    pair=$(opPair "$op")
    restore
    old=$(pairHash "$pair")
    t0=$(nowMs)
    $cmd >/dev/null 2>&1 || { echo "$op fails on its own"; exit 2; }
    t1=$(nowMs)
    new=$(pairHash "$pair")
    span=$((t1 - t0 + 20))
    killed=0 finished=0 oldPairs=0 newPairs=0 mixes=0 completed=0 putBack=0 strays=0
    for ((round = 0; round < rounds; ++round)); do
        restore
        rm -rf "${work:?}/tmp"/*
        delay=$((RANDOM % span))
        $cmd >/dev/null 2>&1 &
        pid=$!
        sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        case $? in
        0) finished=$((finished + 1)) ;;
        137) killed=$((killed + 1)) ;;
        *) echo "$op failed on its own in round $round" ;;
        esac
        # The next open: info reads both files of the pair.
        "$cli" info "$pair" >/dev/null 2>"$work/info.err"
        grep -q "was completed" "$work/info.err" && completed=$((completed + 1))
        grep -q "put back" "$work/info.err" && putBack=$((putBack + 1))
        got=$(pairHash "$pair")
        if [ "$got" = "$old" ]; then
            oldPairs=$((oldPairs + 1))
        elif [ "$got" = "$new" ]; then
            newPairs=$((newPairs + 1))
        else
            mixes=$((mixes + 1))
            cp "$pair" "$work/mix-$op-$round.bin" 2>/dev/null
        fi
        # Besides the two pairs nothing may stay beside them after the open.
        left=$(find . -mindepth 1 -maxdepth 1 ! -name d.bin ! -name d.bin.type ! -name out.bin \
            ! -name out.bin.type | wc -l)
        strays=$((strays + left))
    done
    total_mix=$((total_mix + mixes))
    printf '%-12s %4d rounds (%d ms each): killed %4d, finished %4d; old pair %4d, new pair %4d, MIX %d; recovery completed %d, put back %d; files left beside %d\n' \
        "$op" "$rounds" "$span" "$killed" "$finished" "$oldPairs" "$newPairs" "$mixes" \
        "$completed" "$putBack" "$strays"
done
[ "$total_mix" -eq 0 ]

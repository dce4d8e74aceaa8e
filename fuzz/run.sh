#!/usr/bin/env bash
# Runs every fuzz target built in build/fuzz for the given number of seconds each (make fuzz).
# A target starts from its checked-in corpus and grows a working copy in build/fuzz/work; it goes
# on past a failing input, which it keeps in build/fuzz/findings/<target>. Prints one line per
# target (inputs run, and the failing inputs this run found) and exits 1 when any target found one.
set -uo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

# The analysis reruns up to 60 times per input; shorter inputs keep it exploring.
maxLength() {
    case $1 in
        metadata) echo 1024 ;;
        *) echo 4096 ;;
    esac
}

dictionary() {
    case $1 in
        itunes | feeds | popularity | storedhits) echo json ;;
        appcast) echo xml ;;
        appstoreinput) echo url ;;
        *) echo text ;;
    esac
}

status=0
printf '%-14s %12s %10s  %s\n' target execs exec/s findings
for binary in "$build"/fuzz/fuzz_*; do
    [ -f "$binary" ] && [ -x "$binary" ] || continue
    name=${binary##*/fuzz_}
    work=$build/work/$name
    findings=$build/findings/$name
    log=$build/logs/$name.log
    mkdir -p "$work" "$findings" "$build/logs"
    cp -n "$root/fuzz/corpus/$name"/* "$work"/
    touch "$build/logs/$name.start"

    # One worker in fork mode, so that a failing input is kept and the run goes on.
    "$binary" "$work" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -max_total_time="$seconds" -max_len="$(maxLength "$name")" -timeout=20 \
        -dict="$root/fuzz/dict/$(dictionary "$name").dict" -artifact_prefix="$findings/" >"$log" 2>&1

    execs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
    found=$(find "$findings" -type f -newer "$build/logs/$name.start" | wc -l)
    [ "$found" -eq 0 ] || status=1
    printf '%-14s %12s %10s  %s\n' "$name" "${execs:-0}" "$(( ${execs:-0} / seconds ))" \
        "$([ "$found" -eq 0 ] && echo none || echo "$found in ${findings#"$root"/}")"
done
exit $status

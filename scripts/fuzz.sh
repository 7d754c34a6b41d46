#!/usr/bin/env bash
# Runs each fuzz target of a PVELM_FUZZ build for a bounded time and prints
# how many inputs it ran and what it found.
#   scripts/fuzz.sh BUILD_DIR
# FUZZ_SECONDS (default 60) per target, FUZZ_COMPILER_SECONDS (default 600)
# for the compiler. The corpora grow in BUILD_DIR/fuzz-corpus from run to
# run; inputs that broke something go to BUILD_DIR/fuzz-findings.
set -uo pipefail

build=${1:?usage: scripts/fuzz.sh BUILD_DIR}
seconds=${FUZZ_SECONDS:-60}
compiler_seconds=${FUZZ_COMPILER_SECONDS:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
seeds=$build/fuzz-seeds
corpus=$build/fuzz-corpus
findings=$build/fuzz-findings
logs=$build/fuzz-logs
mkdir -p "$seeds"/{compiler,decoders,settings} "$corpus"/{compiler,decoders,settings} "$findings" "$logs"

# Seeds. The compiler: the example programs. The decoders: one reply of
# each shape the console reads. The settings: the default record, written
# by the target itself.
cp "$root"/examples/*.txt "$seeds/compiler/"
seed() { printf '%s' "$2" >"$seeds/decoders/$1"; }
seed status-running AB0010000200030011000012
seed status-notice AB00ff000a000000320001ab
seed element OV0R15000011FE48454C4C4F00000000000000000000xxxxxxxxxxxxxxxxx0H~
seed packed 0123456789ABCDEFfedcba98765432100123456789ABCDEF0123456789abcdef
seed speed OV0R1A000010001002003004005006007008010020030040050060070080x0H~
seed current OV0R01FFFF000100020003000400050006FFFExxxxxxxxxxxxxxxxxxxxxxx0H~
seed stored OV0R180000100100002000030000400005000060000700008000xxxxxxxxx0H~
seed nudge OUFFFF03H
seed params OV0R1R00000F70000000100000000010005DC09C4FF000000xxxxxxxxxxxx0H~
seed memory OE000012H
seed typed ' -1501.5 '
PVELM_FUZZ_SETTINGS_SEEDS=$seeds/settings "$build/fuzz/fuzz_settings" -runs=0 >/dev/null 2>&1

status=0
results=()
run() {
    local target=$1 time=$2
    shift 2
    local log=$logs/$target.log
    echo "fuzz_$target: $time s ..."
    nice "$build/fuzz/fuzz_$target" "$corpus/$target" "$seeds/$target" -max_total_time="$time" -timeout=5 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/$target-" "$@" >"$log" 2>&1
    local rc=$?
    local execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    local rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    local found=$(ls "$findings" | grep -c "^$target-" || true)
    [ "$rc" -ne 0 ] && status=1
    results+=("$(printf '%-10s %6s s %12s execs %8s exec/s %5s findings  (exit %s, log %s)' \
        "$target" "$time" "${execs:-?}" "${rate:-?}" "$found" "$rc" "$log")")
}
run decoders "$seconds" -max_len=256
run settings "$seconds" -max_len=2048
run compiler "$compiler_seconds" -dict="$root/fuzz/velmscript.dict"

printf '%s\n' "${results[@]}"
exit $status

#!/usr/bin/env bash
# Seeded faults: how many of the faults in scripts/mutants.list the suite
# catches. Each fault is applied alone to a copy of the working tree, the
# build redoes only what changed, and the whole suite runs under a time
# limit. A fault is caught when any test fails or runs out of time.
#
#   scripts/mutants.sh [--first] [ID-REGEX]
#
# With --first a run stops at the first failing test, starting with the
# tests of the fault's own area: the same count, sooner, but the results
# then name only the tests that ran.
#
# Settings (environment): MUTANTS_DIR (work folder, default build-mutants),
# MUTANTS_REV (a commit to test instead of the working tree),
# MUTANT_SECONDS (limit for one run of the suite, default 300),
# MUTANT_TEST_SECONDS (limit for one test, default 90), JOBS (default 2).
# Results: MUTANTS_DIR/results.tsv, one row a fault: id, caught|survived|
# no-build, the failed tests, the failed test functions.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${MUTANTS_DIR:-$root/build-mutants}
first=0
if [ "${1:-}" = --first ]; then
    first=1
    shift
fi
filter=${1:-.}
limit=${MUTANT_SECONDS:-300}
testLimit=${MUTANT_TEST_SECONDS:-90}
jobs=${JOBS:-2}
tree=$work/tree
build=$work/build
list=$root/scripts/mutants.list
mkdir -p "$tree" "$build"

export CCACHE_BASEDIR=$tree CCACHE_NOHASHDIR=1

# The tree gets the working tree's files (committed or not), or with
# MUTANTS_REV those of that commit; files whose bytes did not change keep
# their times, so the build redoes only the rest.
sync_tree() {
    local from=$root
    if [ -n "${MUTANTS_REV:-}" ]; then
        from=$work/export
        rm -rf "$from" && mkdir -p "$from"
        git -C "$root" archive "$MUTANTS_REV" | tar -x -C "$from"
    fi
    (cd "$from" && if [ -n "${MUTANTS_REV:-}" ]; then find . -type f -printf '%P\0'; else git ls-files -co --exclude-standard -z; fi) | python3 -c '
import os, sys, shutil
root, tree = sys.argv[1], sys.argv[2]
wanted = set(p for p in sys.stdin.read().split("\0") if p)
for p in wanted:
    src, dst = os.path.join(root, p), os.path.join(tree, p)
    if not os.path.isfile(src):
        continue
    data = open(src, "rb").read()
    if os.path.isfile(dst) and open(dst, "rb").read() == data:
        continue
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    open(dst, "wb").write(data)
    shutil.copymode(src, dst)
for d, _, files in os.walk(tree):
    for f in files:
        p = os.path.relpath(os.path.join(d, f), tree)
        if p not in wanted:
            os.remove(os.path.join(d, f))
' "$from" "$tree"
}

# mutate FILE BEFORE AFTER: replace the one occurrence; fails if there is
# not exactly one.
mutate() {
    python3 - "$@" <<'PY'
import sys
path, before, after = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
if text.count(before) != 1:
    sys.exit(f"{path}: '{before}' occurs {text.count(before)} times")
open(path, "w", encoding="utf-8").write(text.replace(before, after))
PY
}

build_all() {
    nice cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1
}

# Every fault is in the core, a shared library here: building it alone is
# enough, and skips the programs' and tests' code generators.
build_core() {
    nice cmake --build "$build" -j "$jobs" --target pvelmcore >"$work/build.log" 2>&1
}

# ctest_failed ARGS...: runs ctest with ARGS; prints the failed tests. A
# test that fails is run once more, so that a timing test upset by a busy
# machine does not count as a catch; a fault fails it twice.
ctest_failed() {
    rm -f "$build/Testing/Temporary/LastTestsFailed.log"
    (cd "$build" && timeout -k 10 "$limit" ctest -j "$jobs" --repeat until-pass:2 "$@" >"$work/ctest.log" 2>&1) || true
    if [ -f "$build/Testing/Temporary/LastTestsFailed.log" ]; then
        sed 's/^[0-9]*://' "$build/Testing/Temporary/LastTestsFailed.log" | sort | tr '\n' ' '
    fi
    grep -q "Total Test time" "$work/ctest.log" || echo -n "(suite-timeout) "
}

# Runs the suite; prints the failed tests, then the failed test functions.
# AREA (with --first): the tests named AREA_* run first.
run_suite() {
    local area=${1:-} failed
    if [ "$first" = 1 ] && [ -n "$area" ]; then
        failed=$(ctest_failed --stop-on-failure -R "^${area}_")
        [ -n "$failed" ] || failed=$(ctest_failed --stop-on-failure -E "^${area}_")
    elif [ "$first" = 1 ]; then
        failed=$(ctest_failed --stop-on-failure)
    else
        failed=$(ctest_failed)
    fi
    local functions=""
    if [ -f "$build/Testing/Temporary/LastTest.log" ]; then
        functions=$(grep -o 'FAIL!  : [A-Za-z_:0-9]*' "$build/Testing/Temporary/LastTest.log" | sed 's/FAIL!  : //' | sort -u | tr '\n' ' ' || true)
    fi
    printf '%s\t%s\n' "$failed" "$functions"
}

echo "mutants: syncing and building $build"
sync_tree
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" \
    -DPVELM_SHARED_CORE=ON -DCMAKE_LINK_DEPENDS_NO_SHARED=ON \
    -DPVELM_TEST_TIMEOUT="$testLimit" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
build_all || { echo "mutants: the unmutated tree does not build; see $work/build.log"; exit 1; }

start=$(date +%s)
baseline=$(run_suite)
if [ -n "$(cut -f1 <<<"$baseline" | tr -d ' ')" ]; then
    echo "mutants: the suite fails without a fault: $(cut -f1 <<<"$baseline")"
    exit 1
fi
echo "mutants: the suite passes unmutated in $(($(date +%s) - start)) s"

current=""
restore() {
    if [ -n "$current" ]; then
        cp "$work/original" "$tree/$current"
        current=""
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

results=$work/results.tsv
: >"$results"
total=0 caught=0 nobuild=0
while IFS= read -r line; do
    case "$line" in '#'* | '') continue ;; esac
    id=$(awk -F' :: ' '{gsub(/ +$/, "", $1); print $1}' <<<"$line")
    [[ "$id" =~ $filter ]] || continue
    file=$(awk -F' :: ' '{print $2}' <<<"$line")
    before=$(awk -F' :: ' '{print $3}' <<<"$line")
    after=$(awk -F' :: ' '{print $4}' <<<"$line")
    total=$((total + 1))
    cp "$tree/$file" "$work/original"
    current=$file
    mutate "$tree/$file" "$before" "$after"
    t0=$(date +%s)
    if ! build_core; then
        status=no-build outcome=$'\t'
        nobuild=$((nobuild + 1))
    else
        area=${file#src/}
        outcome=$(run_suite "${area%%/*}")
        if [ -n "$(cut -f1 <<<"$outcome" | tr -d ' ')" ]; then
            status=caught
            caught=$((caught + 1))
        else
            status=survived
        fi
    fi
    restore
    printf '%s\t%s\t%s\n' "$id" "$status" "$outcome" >>"$results"
    printf '%-24s %-9s %4ss  %s\n' "$id" "$status" "$(($(date +%s) - t0))" "$(cut -f1 <<<"$outcome")"
done <"$list"

# Leave the build matching the unmutated tree.
build_all || true
echo "mutants: caught $caught of $total ($((total - caught - nobuild)) survived, $nobuild did not build) in $(($(date +%s) - start)) s"

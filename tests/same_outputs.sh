#!/usr/bin/env bash
# Runs two builds of the program on the same projects and says whether every
# output file, the exit status and the console text agree byte for byte.
#
# Projects: the bundled example (examples/), and every project that the
# end-to-end tests (the suites of tests/*/*_e2e.cpp, the V-catchment among
# them) run, as each test writes it: the tests of BUILD are run once with
# PLUVO_KEEP_CASES set, which makes them keep a copy of each project folder
# just before its run (tests/support/pluvo_test.h, keep_case).
#
# Each project runs under each binary with NUM_THREADS 1, with NUM_THREADS 8,
# and with NUM_THREADS 8 and PLUVO_PARALLEL_CELLS=1 (so that the small grids
# of the tests take the parallel paths too), each in a fresh copy of its folder.
# Lines of the console and files that hold wall times ("out_time.out" in any
# folder, lines with "time" and "(s)") are left out of the comparison. Four
# projects run at a time (SAME_OUTPUTS_JOBS sets another number); the whole
# comparison takes about 15-25 minutes on a shared 8-core machine.
#
# Usage: tests/same_outputs.sh OLD_PLUVO [NEW_PLUVO [BUILD]]
#   OLD_PLUVO  the program built from the other source, e.g. the commit this
#              branch starts from (a binary of a later main also shows that
#              main's own changes of the outputs)
#   NEW_PLUVO  default: BUILD/pluvo
#   BUILD      the build folder whose tests write the projects, default: build
# Exit status 0 when everything agrees; the differing projects are listed.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
old=$(readlink -f "${1:?usage: same_outputs.sh OLD_PLUVO [NEW_PLUVO [BUILD]]}")
build=$(readlink -f "${3:-$here/build}")
new=$(readlink -f "${2:-$build/pluvo}")
work=$(mktemp -d /tmp/pluvo_same_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cases"

# The bundled example.
mkdir -p "$work/cases/example"
cp -r "$here/examples/." "$work/cases/example/"
echo example.prj > "$work/cases/example/PROJECT"

# The end-to-end tests' projects.
suites=$(grep -ho '^TEST[_F]*([A-Za-z0-9_]*' "$here"/tests/*/*_e2e.cpp | sed 's/.*(//' | sort -u |
         sed 's/$/.*/' | paste -sd: -)
for t in "$build"/tests/*_tests; do
    PLUVO_KEEP_CASES="$work/cases" "$t" --gtest_filter="$suites" > /dev/null 2>&1
done
cases=$(ls "$work/cases" | wc -l)
echo "projects: $cases (the example and those of the end-to-end tests)"

# Runs binary $1 on case folder $2 with threads $3 and thresholds $4 in folder $5.
run_case() {
    local bin=$1 src=$2 threads=$3 cells=$4 dir=$5
    mkdir -p "$dir"
    cp -r "$src/." "$dir/"
    local prj
    prj=$(head -n 1 "$src/PROJECT")
    rm -f "$dir/PROJECT"
    sed -i -e '/^[[:space:]]*NUM_THREADS/d' "$dir/$prj"
    printf 'NUM_THREADS %s\n' "$threads" >> "$dir/$prj"
    local status=0
    (cd "$dir" && OMP_WAIT_POLICY=PASSIVE PLUVO_PARALLEL_CELLS=$cells \
        timeout 300 "$bin" "$prj" < /dev/null > "$dir.console" 2>&1) || status=$?
    echo "exit $status" >> "$dir.console"
    grep -v 'time\|(s)' "$dir.console" > "$dir.console.cmp"
    find "$dir" -name out_time.out -delete
}

# Compares the two binaries on case folder $1 in all configurations; prints
# one line per configuration that differs.
compare_case() {
    local c=$1 name config threads cells run
    name=$(basename "$c")
    for config in 1:0 8:0 8:1; do
        threads=${config%%:*}
        cells=${config##*:}
        [ "$cells" = 0 ] && cells=""
        run="$work/run/$name.$threads.$cells"
        run_case "$old" "$c" "$threads" "$cells" "$run.old"
        run_case "$new" "$c" "$threads" "$cells" "$run.new"
        if ! diff -r -q "$run.old" "$run.new" > "$run.diff" 2>&1 ||
           ! cmp -s "$run.old.console.cmp" "$run.new.console.cmp"; then
            echo "DIFFER: $name, $threads thread(s)${cells:+, PLUVO_PARALLEL_CELLS=$cells}"
            head -n 5 "$run.diff"
            diff "$run.old.console.cmp" "$run.new.console.cmp" | head -n 5
        fi
        rm -rf "$run.old" "$run.new" "$run".*
    done
}
export -f run_case compare_case
export old new work

# Four cases at a time (the machine is shared); each run is small.
mkdir -p "$work/run"
ls -d "$work"/cases/*/ | sed 's:/$::' | xargs -P "${SAME_OUTPUTS_JOBS:-4}" -I{} bash -c 'compare_case "$1"' _ {} \
    > "$work/report.txt"
cat "$work/report.txt"
differ=$(grep -c '^DIFFER' "$work/report.txt")
echo "compared $cases projects, each in 3 configurations under both binaries: $differ runs differ"
[ "$differ" = 0 ]

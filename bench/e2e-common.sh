# Shared by the end-to-end benchmark scripts: building what they run, and reading and judging figures.
# shellcheck shell=bash

# Builds the program, the bench bundle and the floor in the given directory (Release, no tests) and
# reads their paths into cli, bundle, floor, ... (see bench/e2e/CMakeLists.txt).
build_e2e_bench()
{
    local build="$1" repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    if [ ! -x /usr/bin/time ]; then
        echo "/usr/bin/time is missing: run scripts/install-deps (Debian package 'time')" >&2
        exit 1
    fi
    echo "== building in $build"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        mkdir -p "$build"
        cmake -S "$repo" -B "$build" -DVANTREL_BUILD_BENCHMARKS=ON -DVANTREL_BUILD_TESTS=OFF \
            -DCMAKE_BUILD_TYPE=Release > "$build/configure.log" 2>&1 \
            || { cat "$build/configure.log" >&2; exit 1; }
    elif ! grep -q '^VANTREL_BUILD_BENCHMARKS:BOOL=ON' "$build/CMakeCache.txt"; then
        cmake "$build" -DVANTREL_BUILD_BENCHMARKS=ON > /dev/null
    fi
    cmake --build "$build" --target e2e_bench -j2 > /dev/null
    # shellcheck source=/dev/null
    source "$build/bench/e2e/paths.sh"
}

declare -a failures=()

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6g\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# One field of a `time -v` report, as a number (the wall clock may read h:mm:ss or m:ss.ss).
timefield()
{
    local label="$1" file="$2"
    awk -F': ' -v label="$label" 'index($0, label) { print $NF }' "$file" \
        | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }'
}
cpu_seconds() { echo "$(timefield 'User time (seconds)' "$1") + $(timefield 'System time (seconds)' "$1")" | bc -l; }
check() { if ! eval "$2"; then failures+=("$1"); echo "   FAILED: $1" >&2; fi; }
goal()
{
    if [ "$(echo "$2" | bc -l)" = 1 ]; then echo "   goal $1: met"; else failures+=("goal $1"); echo "   goal $1: MISSED"; fi
}

# The closing verdict: every goal not met and every check that failed, and a nonzero status for them.
report_goals()
{
    if [ ${#failures[@]} -ne 0 ]; then
        echo "== not met or failed:"
        printf '   %s\n' "${failures[@]}"
        exit 1
    fi
    echo "== all goals met"
}
# Frames the program reports dropped in its log ("Dropped N frames while ..."), summed.
dropped_frames() { { grep -o '^# Dropped [0-9]* frames while' "$1" || true; } | awk '{ n += $3 } END { print n + 0 }'; }
# Whole frames in a captured FIFO stream: each is its 4-byte little-endian size prefix and that many bytes.
whole_frames()
{
    python3 - "$1" << 'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
offset = frames = 0
while offset + 4 <= len(data):
    end = offset + 4 + struct.unpack_from('<I', data, offset)[0]
    if end > len(data):
        break
    offset, frames = end, frames + 1
print(frames)
EOF
}

# What the benchmark drivers share: their command line, building what they run, local servers and
# waiting for them, CPU accounting, and reading and judging figures. Sourced by each driver.
# shellcheck shell=bash

# --- the command line ----------------------------------------------------------------------------
# The driver's leading comment, as its help.
usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; }

# Where the drivers build what they run, unless --build-dir says otherwise.
build="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-bench"

# Reads the driver's command line into its variables, which hold their defaults beforehand. Each
# declaration before "--" is "--option=variable" for an option with a value, "--option=variable#" for
# one whose value is a positive whole number, "--option=variable/" for one naming a path (made
# absolute), or "--option=variable!" for a switch that sets its variable to 1.
parse_args()
{
    local -A valued=() paths=() switches=() counts=()
    local declaration option variable
    while [ "$1" != -- ]; do
        declaration="$1" option="${1%%=*}" variable="${1#*=}"
        case "$declaration" in
            *!) switches[$option]="${variable%!}" ;;
            */) paths[$option]="${variable%/}" ;;
            *\#) valued[$option]="${variable%#}"; counts[$option]="${variable%#}" ;;
            *) valued[$option]="$variable" ;;
        esac
        shift
    done
    shift
    while [ $# -gt 0 ]; do
        option="$1"
        if [ "$option" = -h ] || [ "$option" = --help ]; then
            usage
            exit 0
        elif [ -n "${switches[$option]:-}" ]; then
            printf -v "${switches[$option]}" 1
            shift
            continue
        elif [ -z "${valued[$option]:-}${paths[$option]:-}" ]; then
            echo "unknown argument: $option" >&2
            exit 2
        elif [ $# -lt 2 ]; then
            echo "$option needs a value" >&2
            exit 2
        elif [ -n "${paths[$option]:-}" ]; then
            printf -v "${paths[$option]}" '%s' "$(realpath -m "$2")"
        else
            printf -v "${valued[$option]}" '%s' "$2"
        fi
        shift 2
    done
    for option in "${!counts[@]}"; do whole_number "$option" "${!counts[$option]}"; done
}

# Fails the command line unless the option's value ($2) is a whole number of at least $3 (default 1)
# and at most $4 (if given).
whole_number()
{
    local least="${3:-1}"
    case "$2" in
        '' | *[!0-9]*) ;;
        *) [ "$2" -ge "$least" ] && { [ -z "${4:-}" ] || [ "$2" -le "$4" ]; } && return 0 ;;
    esac
    if [ -n "${4:-}" ]; then echo "$1 needs a number from $least to $4" >&2
    elif [ "$least" = 1 ]; then echo "$1 needs a positive number" >&2
    else echo "$1 needs $least or more" >&2; fi
    exit 2
}

# Fails unless every program named is there.
require()
{
    local program
    for program in "$@"; do
        command -v "$program" > /dev/null || { echo "$program is missing: run scripts/install-deps --tests" >&2; exit 1; }
    done
}

# --- building ------------------------------------------------------------------------------------
# Configures $build for the benchmarks (Release, no tests) unless it is already, and builds the given
# targets in it.
build_bench_targets()
{
    local repo
    repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    echo "== building in $build"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        mkdir -p "$build"
        cmake -S "$repo" -B "$build" -DVANTREL_BUILD_BENCHMARKS=ON -DVANTREL_BUILD_TESTS=OFF \
            -DCMAKE_BUILD_TYPE=Release > "$build/configure.log" 2>&1 \
            || { cat "$build/configure.log" >&2; exit 1; }
    elif ! grep -q '^VANTREL_BUILD_BENCHMARKS:BOOL=ON' "$build/CMakeCache.txt"; then
        cmake "$build" -DVANTREL_BUILD_BENCHMARKS=ON > /dev/null
    fi
    cmake --build "$build" --target "$@" -j2 > /dev/null
}

# Builds the program, the bench bundle, the floor and the given further targets in $build, and reads
# their paths into cli, bundle, floor, ... (see bench/e2e/CMakeLists.txt).
build_e2e_bench()
{
    require /usr/bin/time
    build_bench_targets e2e_bench "$@"
    # shellcheck source=/dev/null
    source "$build/bench/e2e/paths.sh"
}

# $1 copies of the sample presence algorithm, each under its own name (Bench001, ...) and packed by rcc
# ($6) into the bundle directory $2, from its definition $3, flow $4 and the parameter files in $5.
# $7 is a scratch directory for their sources.
make_bundles()
{
    local count="$1" bundles="$2" definition="$3" flow="$4" parb_dir="$5" rcc="$6" scratch="$7" n dir file
    mkdir -p "$bundles" "$scratch"
    for n in $(seq -w "$count"); do
        dir="$scratch/b$n"
        mkdir -p "$dir"
        sed "s/\"name\": \"Presence\"/\"name\": \"Bench$n\"/" "$definition" > "$dir/algorithm.json"
        cp "$flow" "$parb_dir"/*.parb "$dir/"
        {
            echo '<!DOCTYPE RCC><RCC version="1.0"><qresource prefix="/">'
            for file in "$dir"/*; do echo "<file alias=\"bench$n/${file##*/}\">$file</file>"; done
            echo '</qresource></RCC>'
        } > "$scratch/b$n.qrc"
        "$rcc" -binary "$scratch/b$n.qrc" -o "$bundles/bench$n.hpd"
    done
}

# --- servers on 127.0.0.1 ------------------------------------------------------------------------
listening() { (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null; }
# Waits up to $1 seconds for the rest of the arguments, a command, to succeed.
wait_for() { local t=$(($1 * 20)); shift; while ! "$@"; do t=$((t - 1)); [ "$t" -gt 0 ] || return 1; sleep 0.05; done; }
free_port()
{
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 40000))
        listening "$port" || { echo "$port"; return; }
    done
    echo "no free port found" >&2; exit 1
}

mosquitto_program() { command -v mosquitto || echo /usr/sbin/mosquitto; }
# A scratch broker's configuration: anonymous, nothing kept, on 127.0.0.1:$1, and any further lines.
mosquitto_config()
{
    printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$1"
    shift
    [ $# -eq 0 ] || printf '%s\n' "$@"
    # Started by root it would become the user mosquitto, who cannot write here.
    [ "$(id -u)" -ne 0 ] || echo 'user root'
}
# mosquitto ($1) with the configuration file $2 for port $3, its errors appended to $4; sets broker_pid
# once it listens, and fails the run when it does not.
start_mosquitto()
{
    "$1" -c "$2" 2>> "$4" &
    broker_pid=$!
    if ! wait_for 10 listening "$3"; then
        kill "$broker_pid" 2> /dev/null || true
        echo "mosquitto did not start: $(cat "$4")" >&2
        exit 1
    fi
}

# --- CPU accounting ------------------------------------------------------------------------------
# Nanoseconds on a CPU and wake-ups (voluntary context switches: unlike the times scheduled in, they do
# not count preemptions, so the machine's load leaves them be), summed over the threads of a process.
thread_stats()
{
    echo "$(cat /proc/"$1"/task/*/schedstat 2> /dev/null | awk '{ ns += $1 } END { print ns + 0 }')" \
        "$(cat /proc/"$1"/task/*/status 2> /dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }')"
}
# Percent of one core a running process ($1) uses over the next $2 seconds; its wake-ups per second
# are appended to the file $3.
core_share()
{
    local ns0 n0 ns1 n1 t0 t1
    read -r ns0 n0 < <(thread_stats "$1"); t0=$(date +%s%N)
    sleep "$2"
    read -r ns1 n1 < <(thread_stats "$1"); t1=$(date +%s%N)
    echo "($ns1 - $ns0) * 100 / ($t1 - $t0)" | bc -l
    echo "($n1 - $n0) * 1000000000 / ($t1 - $t0)" | bc -l >> "$3"
}

# --- figures and goals ---------------------------------------------------------------------------
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

#!/usr/bin/env bash
# Time of one bash completion of vantrel-cli with 200 bundles in the per-user bundle directory.
#
#   packaging/bench/completion-bench.sh [--cli PATH] [--parb-dir DIR] [--runs N]
#
# The bundles are copies of the sample presence algorithm named Bench001..Bench200, packed with
# rcc. Each run calls the completion function once, as bash does on Tab (the program is asked for
# its catalogue once and the whole listing is read). Prints the median and slowest wall time and
# the CPU time per completion, and fails when a median reaches 150 ms.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cli="$repo/build/app/vantrel-cli"
parb_dir="$repo/build/algorithms/parb"
runs=20
bundles=200
while [ $# -gt 0 ]; do
    case "$1" in
        --cli) cli=$(realpath "$2"); shift 2 ;;
        --parb-dir) parb_dir=$(realpath "$2"); shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h | --help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
rcc=/usr/lib/qt5/bin/rcc
[ -x "$rcc" ] || rcc="$(qmake -query QT_HOST_BINS 2> /dev/null)/rcc"
for need in "$cli" "$rcc"; do
    [ -x "$need" ] || { echo "missing: $need" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
userdir="$home/.local/share/Vantrel/vantrel-cli"
mkdir -p "$userdir" "$work/gen" "$work/bin"
ln -s "$cli" "$work/bin/vantrel-cli"
sample="$repo/algorithms/presence"
for n in $(seq -f '%03g' "$bundles"); do
    dir="$work/gen/b$n"
    mkdir -p "$dir"
    sed "s/\"name\": \"Presence\"/\"name\": \"Bench$n\"/" "$sample/algorithm.json" > "$dir/algorithm.json"
    cp "$sample/presence.flow" "$parb_dir"/*.parb "$dir/"
    {
        echo '<!DOCTYPE RCC><RCC version="1.0"><qresource prefix="/">'
        for file in "$dir"/*; do echo "<file alias=\"bench$n/${file##*/}\">$file</file>"; done
        echo '</qresource></RCC>'
    } > "$work/gen/b$n.qrc"
    "$rcc" -binary "$work/gen/b$n.qrc" -o "$userdir/bench$n.hpd"
done

# Two words: the algorithm (the whole catalogue listed, 200 replies) and a sensor. Wall time per
# run, and the CPU time of all runs (the shell's and its children's) divided by their number.
# shellcheck disable=SC2016 # the script runs in the inner shell
HOME="$home" PATH="$work/bin:$PATH" RUNS="$runs" \
    COMPLETION="$repo/packaging/bash-completion/vantrel-cli" env -u XDG_DATA_HOME bash -c '
    source "$COMPLETION"
    cpu_ms() { local f; read -ra f < /proc/$$/stat; echo $(( (f[13] + f[14] + f[15] + f[16]) * 1000 / $(getconf CLK_TCK) )); }
    measure() {
        local label=$1 expected=$2 i t0 t1 c0
        shift 2
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="${COMP_WORDS[*]}"
        COMP_POINT=${#COMP_LINE}
        _vantrel_cli
        [ "${#COMPREPLY[@]} ${COMPREPLY[0]}" = "$expected" ] || { echo "unexpected completion: ${COMPREPLY[*]}" >&2; exit 1; }
        c0=$(cpu_ms)
        for ((i = 0; i < RUNS; i++)); do
            t0=$EPOCHREALTIME
            _vantrel_cli
            t1=$EPOCHREALTIME
            echo "$label wall $(( (${t1/./} - ${t0/./}) / 1000 ))"
        done
        echo "$label cpu $(( ($(cpu_ms) - c0) / RUNS ))"
    }
    measure algorithm "200 Bench001\\ 1.0" vantrel-cli ""
    measure sensor "2 Module" vantrel-cli "\"Bench200 1.0\"" ""' > "$work/times"
echo "one completion with $bundles bundles installed, $runs runs each (load average $(cut -d' ' -f1 /proc/loadavg)):"
for label in algorithm sensor; do
    awk -v label="$label" '$1 == label && $2 == "wall" { print $3 }' "$work/times" | sort -n | awk \
        -v label="$label" -v cpu="$(awk -v label="$label" '$1 == label && $2 == "cpu" { print $3 }' "$work/times")" '
        { t[NR] = $1 }
        END {
            median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "   %-9s word: wall median %d ms, slowest %d ms; CPU %d ms per completion\n", label, median, t[NR], cpu
            exit median >= 150
        }' || failed=1
done
if [ -n "${failed:-}" ]; then echo "goal < 150 ms (median wall): MISSED"; exit 1; fi
echo "goal < 150 ms (median wall): met"

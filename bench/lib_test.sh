#!/usr/bin/env bash
# The benchmark drivers' shared command line and waiting (bench/lib.sh), through a driver of its own.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=packaging/tests/checks.sh
source "$repo/packaging/tests/checks.sh"
# shellcheck source=bench/lib.sh
source "$repo/bench/lib.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
driver="$work/driver"
cat > "$driver" << EOF
#!/usr/bin/env bash
# A driver's help.
set -euo pipefail
source "$repo/bench/lib.sh"
runs=5 keep=0 only=""
parse_args --build-dir=build/ --runs=runs# --only=only --keep=keep! -- "\$@"
whole_number --runs "\$runs" 1 9
echo "build=\$build runs=\$runs keep=\$keep only=\$only"
EOF
chmod +x "$driver"

# name | arguments | status | what it prints (standard output and error)
while IFS='|' read -r name arguments status expected; do
    read -ra args <<< "$arguments"
    output=$(cd "$work" && "$driver" "${args[@]}" 2>&1)
    actual=$?
    verdict "$name (status $actual: $output)" [ "$actual:$output" = "$status:$expected" ]
done << EOF
defaults||0|build=$repo/build-bench runs=5 keep=0 only=
every kind of option|--runs 3 --keep --only chain --build-dir rel/b|0|build=$work/rel/b runs=3 keep=1 only=chain
the last one given wins|--runs 3 --runs 4|0|build=$repo/build-bench runs=4 keep=0 only=
help is the leading comment|--runs 0 -h|0|A driver's help.
a count of 0|--runs 0|2|--runs needs a positive number
a count that is no number|--runs 2x|2|--runs needs a positive number
a count over its limit|--runs 10|2|--runs needs a number from 1 to 9
an option without its value|--runs|2|--runs needs a value
an unknown option|--fast|2|unknown argument: --fast
a switch given a value|--keep=1|2|unknown argument: --keep=1
EOF

not() { ! "$@"; }
(sleep 0.3; touch "$work/late") &
verdict "wait_for waits for the command to succeed" wait_for 2 test -e "$work/late"
verdict "wait_for gives up after its time" not wait_for 1 false
port=$(free_port)
verdict "free_port gives a port nobody listens on ($port)" not listening "$port"
summary

#!/usr/bin/env bash
# Debian's Prometheus scraping vantrel-frames --http every second on a simulated run that stops:
# /metrics as the page is served, a scrape passes promtool, the frame counter rises, and the
# README's alert fires 10 s after the last frame.
#
#   tests/e2e/frames/prometheus_test.sh VANTREL_CLI VANTREL_FRAMES BUNDLE_DIR ARTEFACT_DIR
#
# Skipped (status 77) without prometheus, curl or python3.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=packaging/tests/checks.sh
source "$here/../../../packaging/tests/checks.sh"
cli=$1 frames=$2 bundles=$3 artefacts=$4
for tool in prometheus promtool curl python3; do
    command -v "$tool" > /dev/null || { skip "$tool is not installed (scripts/install-deps)"; summary; exit 77; }
done

mkdir -p "$artefacts" || exit 1
scratch=$(mktemp -d)
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
api=http://127.0.0.1:$(free_port)
pids=()
cleanup() { kill "${pids[@]}" 2> /dev/null; wait; rm -rf "$scratch"; }
trap cleanup EXIT

# The command succeeds within SECONDS.
within()
{
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.5; done
}
# The value of an instant query, or nothing.
query()
{
    curl -sfG "$api/api/v1/query" --data-urlencode "query=$1" |
        python3 -c 'import json, sys; r = json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else "")'
}
at_least() { awk -v v="$(query "$1")" -v n="$2" 'BEGIN { exit !(v != "" && v + 0 >= n) }'; }
alert_state() { curl -sf "$api/api/v1/alerts" | python3 -c 'import json, sys; print(*(a["state"] for a in json.load(sys.stdin)["data"]["alerts"]))'; }
firing() { [ "$(alert_state)" = firing ]; }

cat > "$scratch/prometheus.yml" << EOF
global: {scrape_interval: 1s, evaluation_interval: 1s}
rule_files: [rules.yml]
scrape_configs: [{job_name: vantrel, static_configs: [{targets: ['127.0.0.1:$port']}]}]
EOF
# The README's rule.
cat > "$scratch/rules.yml" << 'EOF'
groups:
  - name: vantrel
    rules:
      - alert: VantrelNoFrames
        expr: time() - vantrel_last_frame_timestamp_seconds > 10
EOF

"$frames" --follow "$scratch/hpd.fifo" --no-json --http "127.0.0.1:$port" > "$artefacts/vantrel-frames.log" 2>&1 &
pids+=($!)
prometheus --config.file="$scratch/prometheus.yml" --storage.tsdb.path="$scratch/data" \
    --web.listen-address="${api#http://}" > "$artefacts/prometheus.log" 2>&1 &
pids+=($!)
metrics=http://127.0.0.1:$port/metrics
verdict 'vantrel-frames serves /metrics' within 30 curl -sf -o /dev/null "$metrics"
type=$(curl -s -o /dev/null -w '%{content_type}' "$metrics")
verdict "... as $type" test "$type" = 'text/plain; version=0.0.4; charset=utf-8'
verdict '... only to hosts the page answers' test "$(curl -s -o /dev/null -w '%{http_code}' -H 'Host: evil.example' "$metrics")" = 403
verdict 'prometheus scrapes vantrel-frames' within 40 at_least 'up{job="vantrel"}' 1

# 15 s of frames at 20 a second, then silence.
"$cli" -f "$bundles/presence.hpd" "Presence 1.0" Simulation FPS 20 -p --pipe-name "$scratch/hpd.fifo" \
    --stop-after 15 > "$artefacts/vantrel-cli.log" 2>&1 &
cli_pid=$!
verdict 'the frames are counted' within 20 at_least 'vantrel_frames_total{kind="human-presence"}' 1
first=$(query 'vantrel_frames_total{kind="human-presence"}')
verdict "the frame counter rises (from ${first:-nothing})" \
    within 20 at_least 'vantrel_frames_total{kind="human-presence"}' $((${first:-0} + 40))
lint=$(curl -sf "$metrics" | promtool check metrics 2>&1) && lint=${lint:-silent}
verdict "promtool check metrics on a scrape: $lint" test "$lint" = silent
state=$(alert_state)
verdict "no alert while frames come (${state:-none})" test -z "$state"

wait "$cli_pid"
stopped=$SECONDS
verdict 'the stream is marked stale' within 20 at_least 'vantrel_stream_stale' 1
verdict 'the alert fires after the frames stop' within 40 firing
verdict "... 10 s after the last frame, not before ($((SECONDS - stopped)) s)" test $((SECONDS - stopped)) -ge 9
summary

#!/usr/bin/env bash
# The live view of vantrel-frames --http in headless Chromium, on a simulated presence run: what the
# page shows of presence, its distance plot and its connection, no script errors under the page's
# Content-Security-Policy, a screenshot, a page opened later drawing the last minute at once, the
# writer stopping (the page says so and greys the state) and coming back as a PowerMap run (counted in
# radar frames), a proximity run (its target count in place of a confidence), the page finding a
# restarted vantrel-frames by itself, and frames with absurd values drawn without hanging the page.
#
#   tests/e2e/frames/browser_test.sh VANTREL_CLI VANTREL_FRAMES BUNDLE_DIR ARTEFACT_DIR HOSTILE_FRAMES
#
# ARTEFACT_DIR gets webview.png, webview-stale.png, webview-powermap.png, webview-proximity.png and the
# programs' logs.
# UPDATE_SCREENSHOT=1 also copies webview.png to docs/. Without chromium or python3 the test is
# skipped (status 77).
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../../.." && pwd)
# shellcheck source=packaging/tests/checks.sh
source "$repo/packaging/tests/checks.sh"

if [ $# -ne 5 ]; then
    echo "Usage: $0 VANTREL_CLI VANTREL_FRAMES BUNDLE_DIR ARTEFACT_DIR HOSTILE_FRAMES" >&2
    exit 2
fi
cli=$1 frames=$2 bundles=$3 artefacts=$4 hostile=$5
browser=${CHROMIUM:-chromium}

for tool in "$browser" python3; do
    if ! command -v "$tool" > /dev/null; then
        skip "$tool is not installed (scripts/install-deps installs it)"
        summary
        exit 77
    fi
done

mkdir -p "$artefacts" || exit 1
scratch=$(mktemp -d)
fifo=$scratch/hpd.fifo
options=$scratch/options.json
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port/
frames_pid='' cli_pid=''

start_frames()
{
    "$frames" --follow "$fifo" --http "127.0.0.1:$port" --no-json --options "$options" --stale-after 2 \
        >> "$artefacts/vantrel-frames.log" 2>&1 &
    frames_pid=$!
}

cleanup()
{
    # The driver closes the browser at the end of its input.
    local input=${DRIVER[1]:-}
    [ -n "$input" ] && exec {input}>&-
    [ -n "${DRIVER_PID:-}" ] && wait "$DRIVER_PID" 2> /dev/null
    stop_cli
    [ -n "$frames_pid" ] && kill "$frames_pid" 2> /dev/null && wait "$frames_pid"
    rm -rf "$scratch"
}
trap cleanup EXIT

stop_cli()
{
    [ -n "$cli_pid" ] && kill "$cli_pid" 2> /dev/null && wait "$cli_pid"
    cli_pid=''
}

# The page answers within SECONDS.
page_answers()
{
    local deadline=$((SECONDS + $1))
    until python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=2)' "$url" 2> /dev/null; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.2
    done
}

: > "$artefacts/vantrel-frames.log"
start_frames
"$cli" -f "$bundles/presence.hpd" "Presence 1.0" Simulation FPS 20 -t 10 -p --pipe-name "$fifo" \
    --options-path "$options" --stop-after 120 > "$artefacts/vantrel-cli.log" 2>&1 &
cli_pid=$!

if ! page_answers 20; then
    fail "vantrel-frames serves the page at $url (see $artefacts/vantrel-frames.log)"
    summary
    exit 1
fi
pass "vantrel-frames serves the page at $url"

# The driver answers each command with "ok VALUE" or "failed VALUE" (VALUE is JSON).
coproc DRIVER { python3 "$here/browser_driver.py" "$browser" "$artefacts/chromium.log"; }
reply=''
ask()
{
    reply=''
    [ -n "${DRIVER[1]:-}" ] || return 1
    printf '%s\n' "$*" >&"${DRIVER[1]}" && IFS= read -r -t 90 reply <&"${DRIVER[0]}"
    [[ $reply == ok* ]]
}
value() { printf '%s' "${reply#* }"; }
# The last value is a number of at least N.
at_least() { [[ $(value) =~ ^[0-9]+$ ]] && [ "$(value)" -ge "$1" ]; }
dom() { printf "document.getElementById('%s').%s" "$1" "$2"; }

verdict 'the browser loads the page' ask open "$url"
# A few seconds of frames at 20 a second.
points="+$(dom distance-plot dataset.points)"
ask wait 20 "$points >= 60"
ask eval "$points"
verdict "the distance plot draws the frames' points ($(value))" at_least 60

ask eval "[$(dom presence dataset.state), $(dom presence textContent)].join('|')"
presence=$(value)
case $presence in
    '"1|present '[0-9]*' cm"' | '"0|absent '[0-9]*' cm"') pass "#presence shows the state and distance: $presence" ;;
    *) fail "#presence shows the state and distance: $presence" ;;
esac
ask eval "$(dom connection dataset.connected)"
verdict "the page says it is connected: $(value)" test "$(value)" = '"true"'
# Presence is the only output: 20 frames a second. The page may have drawn the last seconds from the
# history before its first count of a second of live frames.
ask wait 10 "parseFloat($(dom frame-rate textContent)) > 0"
if ask eval "parseFloat($(dom frame-rate textContent))" && awk -v r="$(value)" 'BEGIN { exit !(r >= 12 && r <= 28) }'; then
    pass "the page counts about 20 frames a second ($(value))"
else
    fail "the page counts about 20 frames a second ($(value))"
fi
ask eval "[...document.querySelectorAll('section.panel:not([hidden])')].map(p => p.id).join(' ')"
verdict "only the panels with data show: $(value)" test "$(value)" = '"state-panel distance-panel options-panel"'
# What the right axis of the distance plot shows, its points drawn, and which legend keys show.
right="[$(dom distance-plot dataset.right), +$(dom distance-plot dataset.rightPoints) > 0,"
right+=" $(dom confidence-key hidden), $(dom targets-key hidden)].join(' ')"
ask eval "$right"
verdict "presence plots its confidence: $(value)" test "$(value)" = '"confidence true false true"'
ask errors
verdict "no script errors or policy violations: $(value)" test "$(value)" = '[]'

# Ten seconds of the run on the plot: presence coming and going.
ask wait 20 "$points >= 200"
if ask screenshot "$artefacts/webview.png" && [ "$(head -c 8 "$artefacts/webview.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ]; then
    pass "screenshot $artefacts/webview.png"
    if [ "${UPDATE_SCREENSHOT:-}" = 1 ]; then
        mkdir -p "$repo/docs" && cp "$artefacts/webview.png" "$repo/docs/webview.png" &&
            echo "copied to $repo/docs/webview.png"
    fi
else
    fail "screenshot $artefacts/webview.png: $(value)"
fi

# A page opened now draws the last minute at once, from the server's history: the first plot it
# draws has far more points than the few frames that came since.
ask eval 'window.earlierPage = true'
verdict 'the browser opens the page again' ask open "$url"
ask wait 10 "!window.earlierPage && $points > 0"
ask eval "$points"
verdict "the page opens with the last seconds drawn ($(value) points)" at_least 100

# The writer stops just after someone has left, their presence still held: within a few seconds the
# page says for how long, and greys the last state.
verdict 'someone has just left' \
    ask wait 30 "$(dom presence dataset.state) === '0' && $(dom occupancy dataset.occupied) === 'true'"
stop_cli
silence="$(dom state-panel dataset.stale) === 'true' && !$(dom silence hidden) && $(dom silence textContent)"
if ask wait 20 "$silence" && [[ $(value) =~ ^\"No\ frames\ for\ [0-9]+\ s\"$ ]]; then
    pass "the page shows the stream stopped: $(value)"
else
    fail "the page shows the stream stopped: $(value)"
fi
# It counts on; the program itself is still there.
verdict 'the seconds count on' ask wait 15 "/No frames for ([4-9]|[1-9][0-9]+) s/.test($(dom silence textContent))"
ask eval "[$(dom connection dataset.connected), ...['presence', 'occupancy'].map(id => getComputedStyle(document.getElementById(id)).opacity)].join(' ')"
verdict "presence and occupancy are greyed, still connected: $(value)" test "$(value)" = '"true 0.55 0.55"'
if ask screenshot "$artefacts/webview-stale.png"; then
    pass "screenshot $artefacts/webview-stale.png"
else
    fail "screenshot $artefacts/webview-stale.png: $(value)"
fi
# The 10 s hold runs out with no report after it, and the page is told.
ask eval "[$(dom occupancy dataset.occupied), $(dom frames textContent)].join(' ')"
held=$(value)
if [[ $held =~ ^\"true\ ([0-9]+)\"$ ]]; then
    frames_read=${BASH_REMATCH[1]}
    ask wait 20 "$(dom occupancy dataset.occupied) === 'false' && $(dom frames textContent)"
    verdict "the hold runs out without a frame after it (occupied after $held frames; vacant after $(value))" \
        test "$(value)" = "\"$frames_read\""
else
    fail "still held when the stream went stale: $held"
fi

# Frames again, from a PowerMap run: the page recovers by itself, and counts 5 radar frames a
# second although each brings three outputs.
"$cli" -f "$bundles/powermap.hpd" "PowerMap 1.0" Simulation FPS 5 -p --pipe-name "$fifo" \
    --options-path "$options" --stop-after 120 >> "$artefacts/vantrel-cli.log" 2>&1 &
cli_pid=$!
verdict 'the page recovers when frames come again' \
    ask wait 30 "$(dom state-panel dataset.stale) === 'false' && $(dom silence hidden) && !$(dom profile-panel hidden)"
sleep 3
rates=''
for _ in 1 2 3; do
    ask eval "parseFloat($(dom frame-rate textContent))"
    rates="$rates $(value)"
    sleep 1.1
done
if awk -v r="$rates" 'BEGIN { n = split(r, v, " "); for (i = 1; i <= n; i++) if (!(v[i] >= 3 && v[i] <= 7.5)) exit 1 }'; then
    pass "the page counts about 5 radar frames a second of three outputs each:$rates"
else
    fail "the page counts about 5 radar frames a second of three outputs each:$rates"
fi
ask screenshot "$artefacts/webview-powermap.png"

# A proximity run reports no confidence: its target count is plotted in that place, and said so.
stop_cli
"$cli" -f "$bundles/proximity.hpd" "Proximity 1.0" Simulation FPS 20 -p --pipe-name "$fifo" \
    --options-path "$options" --stop-after 120 >> "$artefacts/vantrel-cli.log" 2>&1 &
cli_pid=$!
verdict 'the proximity run shows its targets' ask wait 30 "!$(dom targets-panel hidden) && $points >= 20"
# The panels follow the frames at once, the plot at its next drawing, which a busy machine delays.
proximity_plot="[$right, $(dom distance-title textContent)].join(' ')"
if ask wait 10 "$proximity_plot === 'targets true true false Distance and target count, last minute'"; then
    pass "proximity plots its target count instead"
else
    ask eval "$proximity_plot"
    fail "proximity plots its target count instead: $(value)"
fi
ask screenshot "$artefacts/webview-proximity.png"

# vantrel-frames goes away and comes back: the page says so, then carries on by itself.
kill "$frames_pid" && wait "$frames_pid"
frames_pid=''
if ask wait 10 "$(dom connection dataset.connected) === 'false' && $(dom connection textContent)"; then
    pass "the page shows the lost connection: $(value)"
else
    fail "the page shows the lost connection: $(value)"
fi
ask eval "$points"
before=$(value)
start_frames
verdict 'the page answers again after the restart' page_answers 20
verdict 'the page reconnects by itself' ask wait 20 "$(dom connection dataset.connected) === 'true'"
ask wait 30 "$points > $before + 20"
ask eval "$points"
verdict "frames come in again ($before points, then $(value))" at_least $((before + 21))

# A range profile at 1e17 cm and a target 3e38 m away: the page draws them and still answers.
stop_cli
# vantrel-cli took its FIFO with it: one of our own, which vantrel-frames finds and follows.
mkfifo "$fifo" && "$hostile" > "$fifo"
verdict 'the page takes frames with absurd values' ask wait 20 "/fast/.test($(dom targets-note textContent))"
sleep 2
verdict 'the page still answers after drawing them' ask eval "$(dom profile-note textContent)"
ask errors
verdict "still no script errors: $(value)" test "$(value)" = '[]'

summary

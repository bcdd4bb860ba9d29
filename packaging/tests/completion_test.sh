#!/usr/bin/env bash
# Bash completion of vantrel-cli against the sample bundles, and of vantrel-frames, from a
# non-interactive shell: each check sets the words bash would hand over on Tab and compares what
# the completion offers.
#
#   packaging/tests/completion_test.sh [PROGRAM [BUNDLE_DIR [COMPLETION_SCRIPT [FRAMES [FRAMES_COMPLETION]]]]]
#
# PROGRAM is the vantrel-cli to run (default build/app/vantrel-cli), BUNDLE_DIR holds the sample
# bundles presence.hpd, proximity.hpd and powermap.hpd (default build/algorithms), FRAMES is the
# vantrel-frames to run (default build/frames/vantrel-frames), so an unpacked package can be
# checked too (set LD_LIBRARY_PATH when its program needs it).
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
program=$(realpath "${1:-$repo/build/app/vantrel-cli}")
bundles=$(realpath "${2:-$repo/build/algorithms}")
script=$(realpath "${3:-$repo/packaging/bash-completion/vantrel-cli}")
frames=$(realpath "${4:-$repo/build/frames/vantrel-frames}")
frames_script=$(realpath "${5:-$repo/packaging/bash-completion/vantrel-frames}")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
userdir="$scratch/home/.local/share/Vantrel/vantrel-cli"
mkdir -p "$userdir" "$scratch/bin" "$scratch/files"
cp "$bundles"/presence.hpd "$bundles"/proximity.hpd "$bundles"/powermap.hpd "$userdir/" || exit 1
ln -s "$program" "$scratch/bin/vantrel-cli"
ln -s "$frames" "$scratch/bin/vantrel-frames"
touch "$scratch/files/radar.hpd" "$scratch/files/radar.txt"
export HOME="$scratch/home" PATH="$scratch/bin:$PATH"
unset XDG_DATA_HOME
cd "$scratch" || exit 1
if compgen -G '/usr/share/vantrel/algorithms/*.hpd' > /dev/null; then
    echo "note: /usr/share/vantrel/algorithms holds bundles; they are offered as well"
fi

# shellcheck source=/dev/null
source "$script"
# shellcheck source=/dev/null
source "$frames_script"

# shellcheck source=packaging/tests/checks.sh
source "$repo/packaging/tests/checks.sh"
# complete LINE: the words of LINE as bash hands them over (split at unquoted blanks, quotes
# kept, an unquoted '=' a word of its own), the cursor at the end. The replies land in COMPREPLY.
complete_line()
{
    local line=$1 word='' c q='' i
    COMP_WORDS=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $q ]]; then
            [[ $c == "$q" ]] && q=''
            word+=$c
        elif [[ $c == \\ ]]; then
            word+=${line:i:2}
            ((i++))
        elif [[ $c == [\"\'] ]]; then
            q=$c
            word+=$c
        elif [[ $c == [[:blank:]] ]]; then
            [[ -n $word ]] && COMP_WORDS+=("$word")
            word=''
        elif [[ $c == = ]]; then
            [[ -n $word ]] && COMP_WORDS+=("$word")
            COMP_WORDS+=("=")
            word=''
        else
            word+=$c
        fi
    done
    # The word under the cursor: empty after a blank; after a '=' bash hands over the '=' itself.
    [[ -n $word || $line == *[[:blank:]] ]] && COMP_WORDS+=("$word")
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    # The function the script registered for the command, as bash would call it.
    local registration
    registration=$(complete -p "${COMP_WORDS[0]}") || return
    registration=${registration#*-F }
    "${registration%% *}"
}
# check NAME LINE EXPECTED...: the replies for LINE, in any order, are exactly EXPECTED.
check()
{
    local name=$1 line=$2 got want
    shift 2
    complete_line "$line"
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd '|')
    want=$(printf '%s\n' "$@" | sort | paste -sd '|')
    [[ ${#COMPREPLY[@]} -eq 0 ]] && got=''
    [[ $# -eq 0 ]] && want=''
    if [[ $got == "$want" ]]; then
        pass "$name"
    else
        fail "$name: for [$line] got [$got], expected [$want]"
    fi
}
# The shell words the reply makes when readline puts it in place of the word typed so far
# (inside an open quote, readline also closes it).
words_of() { eval "set -- $1"; printf '%s\n' "$#" "$@"; }

# Everything below needs a program that starts (an unpacked one may need LD_LIBRARY_PATH).
runs() { vantrel-cli --version > /dev/null; }
verdict 'the program runs' runs
sensors='Module Simulation'
check 'algorithm names, escaped blank' 'vantrel-cli ' 'PowerMap\ 1.0' 'Presence\ 1.0' 'Proximity\ 1.0'
check 'algorithm names by prefix' 'vantrel-cli Pr' 'Presence\ 1.0' 'Proximity\ 1.0'
check 'algorithm name inside double quotes' 'vantrel-cli "Pres' 'Presence 1.0'
check 'algorithm name inside single quotes' "vantrel-cli 'Pow" 'PowerMap 1.0'
complete_line 'vantrel-cli Pres'
verdict 'reply is one shell word "Presence 1.0"' [ "$(words_of "${COMPREPLY[0]:-}")" = $'1\nPresence 1.0' ]
complete_line 'vantrel-cli "Pres'
verdict 'quoted reply is one shell word "Presence 1.0"' [ "$(words_of "\"${COMPREPLY[0]:-}\"")" = $'1\nPresence 1.0' ]
check 'unknown algorithm offers nothing' 'vantrel-cli Nothing '
# shellcheck disable=SC2086
check 'sensors of a quoted algorithm' 'vantrel-cli "Presence 1.0" ' $sensors
check 'sensors of an escaped algorithm, by prefix' 'vantrel-cli Presence\ 1.0 S' Simulation
check 'parameters of a sensor' "vantrel-cli 'Presence 1.0' Simulation " FPS range sensitivity
check 'parameters not yet given' 'vantrel-cli "Presence 1.0" Simulation FPS 10 ' range sensitivity
check 'values of a parameter' 'vantrel-cli "Presence 1.0" Module range ' 2m 3m 5m
check 'values by prefix, after a pair' 'vantrel-cli "Presence 1.0" Module FPS 5 sensitivity m' medium
check 'values of an unknown parameter' 'vantrel-cli "Presence 1.0" Module speed '
check 'options by prefix' 'vantrel-cli --pi' --pipe --pipe-name
check 'options after positional words' 'vantrel-cli "Presence 1.0" --st' --stdout --stop-after
check 'log levels' 'vantrel-cli -l ' 1 2 3 4 5 6 7
check 'log levels after --loglevel=' 'vantrel-cli --loglevel=' 1 2 3 4 5 6 7
check 'no guess for seconds' 'vantrel-cli --stop-after '
check 'no guess for the hold time' 'vantrel-cli "Presence 1.0" -t '
check 'option values are not positional words' 'vantrel-cli -t 30 --stop-after 5 ' 'PowerMap\ 1.0' 'Presence\ 1.0' 'Proximity\ 1.0'
# shellcheck disable=SC2086
check 'compacted options with a value' 'vantrel-cli -sl 2 "Proximity 1.0" ' $sensors
check 'bundle files for -f' "vantrel-cli -f $scratch/files/" "$scratch/files/radar.hpd"
check 'any file for --options-path' "vantrel-cli --options-path $scratch/files/r" "$scratch/files/radar.hpd" "$scratch/files/radar.txt"
check '-f limits the algorithms, ~ expanded' "vantrel-cli -f ~/.local/share/Vantrel/vantrel-cli/proximity.hpd " 'Proximity\ 1.0'
check '--file= limits the algorithms' "vantrel-cli -s --file=$userdir/powermap.hpd P" 'PowerMap\ 1.0'
check '-f limits the sensors' "vantrel-cli -f $userdir/proximity.hpd \"Presence 1.0\" "
# Asked at completion time: a bundle removed a moment ago is gone from the next completion.
rm "$userdir/powermap.hpd"
check 'catalogue read at each completion' 'vantrel-cli P' 'Presence\ 1.0' 'Proximity\ 1.0'

# vantrel-frames: the kinds are those the program accepts, as its message on an unknown kind lists them.
mapfile -t kinds < <(vantrel-frames -k none 2>&1 | sed -n 's/.*; one of //p' | tr -d , | tr ' ' '\n')
verdict "the program lists its kinds (${#kinds[@]})" [ "${#kinds[@]}" -ge 5 ]
check 'frames: kinds of -k' 'vantrel-frames -k ' "${kinds[@]}"
check 'frames: kinds after --kind=, by prefix' 'vantrel-frames --kind=proximity-f' proximity-fast proximity-fixed
check 'frames: options by prefix' 'vantrel-frames --he' --heartbeat --help --help-all
export VANTREL_COMPLETION_URL=mqtt://h/p
check 'frames: variables for --mqtt-env' 'vantrel-frames --mqtt-env VANTREL_COMPLETION_' VANTREL_COMPLETION_URL
# Each row: name, line, files expected (in $scratch/files).
while IFS='|' read -r name line want; do
    # shellcheck disable=SC2086
    check "frames: $name" "$line" ${want:+$(printf "$scratch/files/%s\n" $want)}
done << EOF
the source|vantrel-frames $scratch/files/r|radar.hpd radar.txt
the source after a switch|vantrel-frames -f $scratch/files/radar.t|radar.txt
--record|vantrel-frames --record $scratch/files/|radar.hpd radar.txt
--options=|vantrel-frames --options=$scratch/files/radar.h|radar.hpd
no guess for seconds|vantrel-frames --heartbeat |
nothing for an address|vantrel-frames --http 127.0.0.1:|
EOF

summary

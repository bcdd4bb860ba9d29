#!/usr/bin/env bash
# Checks the service files: the systemd unit, the sysusers.d entry, the udev rule and the defaults
# file. Needs (Debian 12): systemd (systemd-analyze, systemd-sysusers, systemd-run), coreutils,
# grep, sed, mawk or gawk. Run as root; writes only below a scratch directory.
# Usage: packaging/tests/unit_test.sh [vantrel-cli]   (the program: one check runs it)
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
unit="$here/systemd/vantrel-cli.service" defaults="$here/default/vantrel-cli"
rules="$here/udev/60-vantrel-ft4222.rules" program="${1:-$here/../build/app/vantrel-cli}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=packaging/tests/checks.sh
source "$here/tests/checks.sh"
key() { sed -n "s/^$1=//p" "$unit"; }
# Assignments of the defaults file as a shell reads them, which is how systemd reads quoted values.
defaults_of() { sh -c '. "$1"; printf "%s|%s|%s|%s\n" "$ALGORITHM" "$SENSOR" "$PARAMETERS" "$OPTIONS"' sh "$1"; }
sed -n 's/^#   \([A-Z]*=\)/\1/p' "$defaults" >"$scratch/example"   # the documented example, uncommented

verify_silent() { # the units of this system stand in for the targets the unit is ordered against
    mkdir -p "$scratch/root/usr/bin" "$scratch/root/usr/lib/systemd/system"
    cp -a /lib/systemd/system/. "$unit" "$scratch/root/usr/lib/systemd/system/"
    printf '#!/bin/sh\n' >"$scratch/root/usr/bin/vantrel-cli" && chmod +x "$scratch/root/usr/bin/vantrel-cli"
    local out; out="$(systemd-analyze verify --man=no --root="$scratch/root" vantrel-cli.service 2>&1)" || return 1
    [ -z "$out" ] || { echo "$out"; return 1; }
}
score="$(systemd-analyze --no-pager security --offline=true "$unit" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')"
score_at_most_2() { [ -n "$score" ] && awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }'; }
sysusers_creates() {
    mkdir -p "$scratch/users/usr/lib/sysusers.d" "$scratch/users/etc"
    cp "$here/systemd/vantrel-cli.sysusers" "$scratch/users/usr/lib/sysusers.d/vantrel-cli.conf"
    systemd-sysusers --root="$scratch/users" || return 1
    local gid; gid="$(awk -F: '$1 == "vantrel" { print $3 }' "$scratch/users/etc/group")"
    [ -n "$gid" ] && grep -Eq "^vantrel:x:[0-9]+:$gid:[^:]*:/nonexistent:/usr/sbin/nologin$" "$scratch/users/etc/passwd"
}
udev_rule() { # matches are ==, assignments =, on one rule line
    local r='SUBSYSTEM=="usb"' v='ATTR\{idVendor\}=="0403"' p='ATTR\{idProduct\}=="601c"'
    local line; line="$(grep -v '^#' "$rules" | grep -E "(^|, )$r" | grep -E "(^|, )$v" | grep -E "(^|, )$p")"
    grep -Eq '(^|, )GROUP="vantrel"(,|$)' <<<"$line" && grep -Eq '(^|, )MODE="0660"(,|$)' <<<"$line" || return 1
    ! udevadm verify --help >/dev/null 2>&1 || udevadm verify --resolve-names=never "$rules"
}
exec_words() { # ${ALGORITHM} one word, the others split, after the fixed options
    grep -Eq '^ExecStart=/usr/bin/vantrel-cli -s -p --pipe-name /run/([^ /]+)/[^ ]+ --options-path /run/\1/[^ ]+ \$OPTIONS \$\{ALGORITHM\} \$SENSOR \$PARAMETERS$' "$unit" &&
        [ "$(key RuntimeDirectory)" = "$(key ExecStart | sed 's|.*--pipe-name /run/\([^/]*\)/.*|\1|')" ]
}
restart_policy() { [ "$(key Restart)" = on-failure ] && [ "$(key RestartPreventExitStatus)" = "1 3" ] && [ "$(key StartLimitIntervalSec)" = 0 ]; }
defaults_parse() {
    [ "$(defaults_of "$defaults")" = "|||" ] &&
        [ "$(defaults_of "$scratch/example")" = "Presence 1.0|Module|range 3m FPS 10|-l 2 -t 30" ]
}
expanded_by_systemd() { # what the unit's command line becomes with the example, from systemd itself
    printf '#!/bin/sh\nprintf "[%%s]" "$@"\n' >"$scratch/args" && chmod +x "$scratch/args"
    local words got; read -ra words <<<"$(key ExecStart | cut -d' ' -f2-)"   # "$OPTIONS" etc. stay literal
    got="$(systemd-run --quiet --wait --pipe --collect -p EnvironmentFile="$scratch/example" "$scratch/args" "${words[@]}")"
    echo "$got"
    [ "$got" = "[-s][-p][--pipe-name][/run/vantrel/hpd.fifo][--options-path][/run/vantrel/selected_options.json][-l][2][-t][30][Presence 1.0][Module][range][3m][FPS][10]" ]
}
unconfigured_not_restarted() { # nothing selected: the status the program ends with prevents a restart
    "$program" -s -p --pipe-name "$scratch/hpd.fifo" --options-path "$scratch/options.json" ""
    local status=$?; echo "status $status"; [[ " $(key RestartPreventExitStatus) " == *" $status "* ]]
}

verdict "systemd-analyze verify is silent" verify_silent
verdict "systemd-analyze security: exposure ${score:-unknown}, at most 2.0" score_at_most_2
verdict "sysusers creates user and group vantrel" sysusers_creates
verdict "udev gives 0403:601c to group vantrel, mode 0660" udev_rule
verdict "ExecStart passes the defaults as words, FIFO in RuntimeDirectory" exec_words
verdict "restarts on failure except 1 and 3, without a start limit" restart_policy
verdict "defaults file: nothing selected; the example parses" defaults_parse
if [ -d /run/systemd/system ]; then verdict "systemd expands the example into the right words" expanded_by_systemd
else skip "systemd expands the example into the right words (systemd is not running)"; fi
if [ -x "$program" ]; then verdict "unconfigured service ends without restart" unconfigured_not_restarted
else skip "unconfigured service ends without restart (no program at $program)"; fi
summary

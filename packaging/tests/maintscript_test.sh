#!/usr/bin/env bash
# Runs the maintainer scripts of a vantrel-cli package through install, upgrade, remove and purge
# in a scratch root, and checks what they would do to the services. systemd is not running here:
# its directory /run/systemd/system is a scratch one the scripts are pointed at, and
# deb-systemd-invoke is a stand-in that acts as the real one decides (start only enabled units,
# restart enabled or running ones, stop any) on a list of running units. deb-systemd-helper and
# systemd-sysusers are the real ones, working on the scratch root; systemctl and udevadm only
# record their calls. Needs: dpkg-deb, init-system-helpers, systemd. Writes only below a scratch
# directory.
# Usage: packaging/tests/maintscript_test.sh vantrel-cli_VERSION_ARCH.deb
set -uo pipefail
deb="$1"
here="$(cd "$(dirname "$0")/.." && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=packaging/tests/checks.sh
source "$here/tests/checks.sh"

root="$scratch/root" bin="$scratch/bin" log="$scratch/calls" running="$scratch/running"
units="vantrel-cli.service vantrel-frames-mqtt.service vantrel-frames-web.service"
mkdir -p "$root/etc" "$bin" "$scratch/control" && touch "$log" "$running"
dpkg-deb -x "$deb" "$root" && dpkg-deb -e "$deb" "$scratch/control" || exit 1
stub() { printf '#!/bin/sh\n%s\n' "$2" >"$bin/$1" && chmod +x "$bin/$1"; }
stub systemctl 'echo "systemctl $*" >>"$CALLS"'
stub udevadm 'echo "udevadm $*" >>"$CALLS"'
stub systemd-sysusers 'echo "systemd-sysusers $*" >>"$CALLS"; exec /usr/bin/systemd-sysusers --root="$ROOT" "$@" >>"$CALLS" 2>&1'
stub deb-systemd-helper 'DPKG_ROOT="$ROOT" exec /usr/bin/deb-systemd-helper "$@"'
stub deb-systemd-invoke '
action=$1; shift
for unit; do
    if /usr/bin/systemctl --root="$ROOT" --quiet is-enabled "$unit" 2>/dev/null; then enabled=1; else enabled=0; fi
    if grep -qx "$unit" "$RUNNING"; then active=1; else active=0; fi
    case $action in
        start) [ $enabled = 1 ] || continue ;;
        restart) [ $enabled = 1 ] || [ $active = 1 ] || continue ;;
        stop) grep -vx "$unit" "$RUNNING" >"$RUNNING.new"; mv "$RUNNING.new" "$RUNNING" ;;
    esac
    echo "$action $unit" >>"$CALLS"
    case $action in start|restart) [ $active = 1 ] || echo "$unit" >>"$RUNNING" ;; esac
done'

# run_script NAME ARGS...: the package's script as dpkg runs it, with systemd running or not ($systemd).
systemd=yes
run_script() {
    local name=$1; shift
    rm -rf "$scratch/systemd" && [ $systemd = no ] || mkdir -p "$scratch/systemd/system"
    sed "s|/run/systemd/system|$scratch/systemd/system|g" "$scratch/control/$name" >"$scratch/$name"
    : >"$log"
    env -u DPKG_ROOT PATH="$bin:$PATH" ROOT="$root" CALLS="$log" RUNNING="$running" \
        DPKG_MAINTSCRIPT_PACKAGE=vantrel-cli DPKG_MAINTSCRIPT_NAME="$name" sh -e "$scratch/$name" "$@"
}
# What happened to the services, as "action unit" lines, sorted; and which units are enabled.
services() { grep -E '^(start|stop|restart) ' "$log" | sort | paste -sd, -; }
enabled() { find "$root/etc/systemd/system" -type l -name 'vantrel-*' -printf '%f\n' 2>/dev/null | sort -u | paste -sd, -; }
old=2.4.8-1

install_starts_nothing() { # a new installation: the account exists, nothing is enabled or started
    run_script postinst configure || return 1
    echo "services: '$(services)', enabled: '$(enabled)'"
    [ -z "$(services)" ] && [ -z "$(enabled)" ] && grep -q '^systemd-sysusers ' "$log" &&
        grep -q '^vantrel:' "$root/etc/passwd" && grep -q '^systemctl --system daemon-reload' "$log"
}
upgrade_restarts_what_runs() { # the administrator enabled and started vantrel-cli only
    /usr/bin/systemctl --root="$root" --quiet enable vantrel-cli.service || return 1
    echo vantrel-cli.service >"$running"
    local before; before="$(enabled)"
    run_script prerm upgrade 2.4.9-1 || return 1
    [ -z "$(services)" ] || { echo "prerm upgrade: $(services)"; return 1; }
    run_script postinst configure "$old" || return 1
    echo "services: '$(services)', enabled: '$(enabled)' (before: '$before')"
    [ "$(services)" = "restart vantrel-cli.service" ] && [ "$(enabled)" = "$before" ] && [ -n "$before" ]
}
upgrade_of_a_stopped_service() { # stopped and disabled: the upgrade leaves it so
    /usr/bin/systemctl --root="$root" --quiet disable vantrel-cli.service && : >"$running"
    run_script postinst configure "$old" || return 1
    echo "services: '$(services)', enabled: '$(enabled)'"
    [ -z "$(services)" ] && [ -z "$(enabled)" ]
}
remove_stops_every_service() {
    /usr/bin/systemctl --root="$root" --quiet enable vantrel-cli.service vantrel-frames-mqtt.service || return 1
    printf '%s\n' vantrel-cli.service vantrel-frames-mqtt.service >"$running"
    run_script prerm remove || return 1
    local stopped; stopped="$(services)"
    run_script postrm remove || return 1
    echo "prerm: '$stopped', still running: '$(paste -sd, "$running")'"
    [ "$stopped" = "$(printf 'stop %s\n' $units | sort | paste -sd, -)" ] && [ ! -s "$running" ] &&
        grep -q '^systemctl --system daemon-reload' "$log"
}
purge_removes_the_links() {
    run_script postrm purge || return 1
    echo "enabled after purge: '$(enabled)'"
    [ -z "$(enabled)" ]
}
without_systemd() { # in a chroot or container: the account only, no service touched
    systemd=no
    run_script postinst configure "$old" && run_script prerm remove || return 1
    systemd=yes
    [ -z "$(services)" ] && ! grep -q '^systemctl ' "$log"
}

verdict "install: account created, no service enabled or started" install_starts_nothing
verdict "upgrade: the running service restarts after, not before; enabled units stay as they were" \
    upgrade_restarts_what_runs
verdict "upgrade: a stopped, disabled service stays so" upgrade_of_a_stopped_service
verdict "remove: every service stops; systemd reloads" remove_stops_every_service
verdict "purge: nothing enabled is left" purge_removes_the_links
verdict "without systemd: no service touched" without_systemd
summary

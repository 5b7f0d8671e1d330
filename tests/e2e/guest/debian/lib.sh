# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The Debian guest's helpers, beside common.sh's: the chip, the package's service and what
# node_exporter, Nagios and Icinga 2 make of it.

UNIT=prometheus-node-exporter-vantorel
# A try of wait_until here is a call or two of systemctl, which take the guest's one
# processor a while under emulation: twice a second leaves the service it waits for room.
# shellcheck disable=SC2034 # common.sh's wait_until reads it
WAIT_STEP=0.5
# Where the harness puts the test's files (debian.GUEST_DIR).
E2E=/usr/local/lib/vantorel-e2e

# stub_bus: N of the software adapter's /dev/i2c-N.
stub_bus() {
    for _d in /sys/bus/i2c/devices/i2c-*; do
        [ "$(cat "$_d/name")" = "SMBus stub driver" ] && echo "${_d##*-}"
    done
}

# stub IMAGE: a fresh software adapter with a chip at 0x2f holding the register image IMAGE
# (a file of the harness's in $E2E/images, as fill reads it), every other register zero;
# BUS is set to its number.
stub() {
    modprobe -r i2c_stub 2>/dev/null
    modprobe i2c-dev
    modprobe i2c-stub chip_addr=0x2f
    udevadm settle
    BUS=$(stub_bus)
    fill "$1"
}

# fill IMAGE: the registers of IMAGE written to the chip at 0x2f of bus BUS, the others left.
# A line of IMAGE is a run of consecutive registers, the first one's number and their values,
# written at once (an I2C block write, which i2c-stub takes) where there are more than one.
fill() {
    _image=$E2E/images/$1
    while read -r _reg _values; do
        # shellcheck disable=SC2086 # a word for each value
        set -- $_values
        [ $# -eq 1 ] || set -- "$@" i
        i2cset -y "$BUS" 0x2f "$_reg" "$@" || echo "i2cset $BUS $_reg $* failed" >&2
    done < "$_image"
}

# now: the monotonic clock in microseconds, as systemd stamps its units' events.
now() {
    awk '{ printf "%d\n", $1 * 1000000 }' /proc/uptime
}

# service_property PROPERTY: the service's PROPERTY, as systemctl show gives it.
service_property() {
    systemctl show -P "$1" "$UNIT.service"
}

# checked_after SINCE: the service's conditions have been checked after SINCE and the start
# they were checked for is over, whether it ran or was skipped.
checked_after() {
    [ "$(service_property ConditionTimestampMonotonic)" -gt "$1" ] &&
        [ "$(service_property ActiveState)" != activating ]
}

# ran_after SINCE: a run of the service that started after SINCE has ended.
ran_after() {
    _start=$(service_property ExecMainStartTimestampMonotonic)
    _end=$(service_property InactiveEnterTimestampMonotonic)
    [ "$_start" -gt "$1" ] && [ "$_end" -gt "$_start" ]
}

# ran: the service has run to its end since the boot.
ran() {
    [ "$(service_property ExecMainExitTimestampMonotonic)" != 0 ]
}

# scrape: node_exporter's lines for vantorel and its textfile collector.
scrape() {
    curl -fsS http://127.0.0.1:9100/metrics >/tmp/metrics &&
        grep -E '^(# (HELP|TYPE) )?(vantorel_|node_textfile_)' /tmp/metrics
}

# outcome: the service's result and state.
outcome() {
    systemctl show -p Result,ExecMainStatus,ActiveState "$UNIT.service"
}

# recorded_after STATUS SINCE: the daemon whose status.dat is STATUS (Nagios 4's, or Icinga
# 2's status data) has recorded a check of the service Board that it started after SINCE
# (seconds of the epoch); /tmp/board holds its record. Icinga writes no last_check: the time
# of the last check in a state is the time of the last check.
recorded_after() {
    awk '/^servicestatus \{/ { b = 1; s = "" } b { s = s $0 "\n" }
         /^\t\}/ { if (b && s ~ /\tservice_description=Board\n/) printf "%s", s; b = 0 }' \
        "$1" >/tmp/board 2>/dev/null
    _last=$(awk -F= '$1 ~ /^\t(last_check|last_time_(ok|warn|warning|critical|unknown))$/ &&
                     $2 > m { m = $2 } END { printf "%d\n", m }' /tmp/board)
    [ "$_last" -gt "$2" ]
}

# recorded_state STATUS SINCE SECONDS: waits (up to SECONDS) for a check of Board that the
# daemon of STATUS started after SINCE, then prints its state, output and perfdata as
# STATUS holds them.
recorded_state() {
    if wait_until "$3" recorded_after "$1" "$2"; then
        sed -n -E 's/^\t(current_state|plugin_output|long_plugin_output|performance_data)=/\1=/p' \
            /tmp/board
    else
        cat /tmp/board
        return 1
    fi
}

# icinga_commands PROGRAM: the command lines of PROGRAM that Icinga 2's debug log says the
# daemon ran, each once, quoted as the log quotes them.
icinga_commands() {
    sed -n "s|.*/Process: Running command \('$1'.*\): PID [0-9]*$|\1|p" \
        /var/log/icinga2/debug.log | sort -u
}

# new_paths DEB: the paths of package DEB that do not exist yet.
new_paths() {
    dpkg-deb --fsys-tarfile "$1" | tar -t | sed -e 's|^\.||' -e 's|/$||' | grep . |
        while read -r p; do [ -e "$p" ] || echo "$p"; done
}

# left_after_purge PATH...: what is left of the package's files (listed), of the paths it
# made (new-paths), of PATHS and of dpkg's records of it. The lists are kept in
# /var/lib/vantorel-e2e for the purge in the second boot, whose start empties /tmp.
left_after_purge() {
    _k=/var/lib/vantorel-e2e
    { cat $_k/listed $_k/new-paths; printf '%s\n' "$@"; } | sort -u | while read -r p; do
        if [ -e "$p" ] || [ -L "$p" ]; then
            [ ! -d "$p" ] || grep -qxF "$p" $_k/new-paths && echo "$p"
        fi
    done
    ls -d /var/lib/dpkg/info/vantorel.* 2>/dev/null
    true
}

# Where collectd (guest/debian/collectd.conf) writes its readings: a directory per plugin
# and its instance, sensors-CHIP, and in it a file per reading, TYPE-LABEL-DATE, of
# "epoch,value" lines.
COLLECTD_CSV=/var/lib/vantorel-e2e/collectd/csv/vantorel-e2e

# collectd_start: collectd with the test's configuration, as a daemon of its own.
collectd_start() {
    mkdir -p /var/lib/vantorel-e2e/collectd
    collectd -C "$E2E/collectd.conf" -P /run/vantorel-e2e-collectd.pid 3>&-
}

# collectd_stop: the daemon gone.
collectd_stop() {
    _pid=$(cat /run/vantorel-e2e-collectd.pid 2>/dev/null) || return 0
    kill "$_pid" && wait_until 30 ended "$_pid"
}

# collectd_after SECONDS: collectd has read the sensors, and written a line for each of them,
# since SECONDS of the epoch.
collectd_after() {
    awk -v since="$1" '{ last[FILENAME] = $0 }
        END { for (f in last) { n++; if (last[f] + 0 < since) exit 1 } exit (n == 0) }' \
        "$COLLECTD_CSV"/sensors-*/* 2>/dev/null
}

# collectd_values: the last line of each of collectd's sensors files, after its name
# (sensors-CHIP/TYPE-LABEL-DATE).
collectd_values() {
    awk -v dir="$COLLECTD_CSV/" '{ last[FILENAME] = $0 }
        END { for (f in last) print substr(f, length(dir) + 1), last[f] }' \
        "$COLLECTD_CSV"/sensors-*/*
}

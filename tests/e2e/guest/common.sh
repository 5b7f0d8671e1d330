# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# What every guest has, the busybox boards' and the Debian system's: the records it sends back
# to the harness on descriptor 3 (its second serial port), and the one way to wait.

# emit NAME STATUS OUTFILE ERRFILE: one result record on the results port, stamped with the
# guest's uptime, its name after $RECORD_PREFIX (set where several boots share one run).
emit() {
    read -r _uptime _ < /proc/uptime
    {
        echo "@@CASE ${RECORD_PREFIX-}$1 $2 $_uptime"
        base64 < "$3"
        echo "@@STDERR"
        base64 < "$4"
        echo "@@EOC"
    } >&3
}

# run_case NAME COMMAND...: runs COMMAND, sends back its status, stdout and stderr.
run_case() {
    _name=$1
    shift
    "$@" > /tmp/.out 2> /tmp/.err < /dev/null 3>&-
    emit "$_name" $? /tmp/.out /tmp/.err
}

# note NAME TEXT...: sends back a line of text as a record of its own.
note() {
    _name=$1
    shift
    echo "$*" > /tmp/.out
    : > /tmp/.err
    emit "$_name" 0 /tmp/.out /tmp/.err
}

# The pause between two tries of wait_until, in seconds. The Debian guest, whose tries ask
# systemd, takes a longer one.
WAIT_STEP=0.2

# wait_until SECONDS COMMAND...: runs COMMAND every WAIT_STEP until it succeeds, for at most
# SECONDS; fails if it never did. COMMAND says nothing until it succeeds.
wait_until() {
    _wait_end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$_wait_end" ] || return 1
        sleep "$WAIT_STEP"
    done
}

# ended PID: the process PID is gone.
ended() {
    ! kill -0 "$1" 2>/dev/null
}

# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# What every guest has, the busybox boards' and the Debian system's: the records it sends back
# to the harness on descriptor 3 (its second serial port), and the one way to wait.

# emit NAME STATUS OUTFILE ERRFILE: one result record on the results port.
emit() {
    {
        echo "@@CASE $1 $2"
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

# wait_until SECONDS COMMAND...: runs COMMAND every fifth of a second until it succeeds, for
# at most SECONDS; fails if it never did. COMMAND says nothing until it succeeds.
wait_until() {
    _wait_limit=$(($1 * 5))
    shift
    _wait_n=0
    until "$@"; do
        [ "$_wait_n" -lt "$_wait_limit" ] || return 1
        sleep 0.2
        _wait_n=$((_wait_n + 1))
    done
}

# ended PID: the process PID is gone.
ended() {
    ! kill -0 "$1" 2>/dev/null
}

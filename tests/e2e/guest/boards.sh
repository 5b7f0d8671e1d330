# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The guest's side of the boards read over the bus (boards.py): the report written to a file,
# the setuid copy, the device lock and the standard descriptors. Each function is one group's
# commands; the chip's registers are written before it is called.

# as_nobody COMMAND...: COMMAND run by the user nobody.
as_nobody() {
    su -s /bin/sh nobody -c "$*"
}

# file_state FILE: FILE's mode and owner, the names in its directory, and its bytes.
file_state() {
    stat -c '%A %u' "$1"
    ls -A "$(dirname "$1")"
    cat "$1"
}

# prom_file CASE FILE [COMMAND...]: runs COMMAND (vantorel by default) with -P -o FILE
# -f $DEV as record CASE, then records FILE's state as CASE.file.
prom_file() {
    _case=$1
    _file=$2
    shift 2
    [ $# -gt 0 ] || set -- vantorel
    run_case "$_case" "$@" -P -o "$_file" -f "$DEV"
    run_case "$_case.file" file_state "$_file"
}

# old_file FILE [MODE]: FILE holding "old", in a directory of its own.
old_file() {
    mkdir -p "$(dirname "$1")"
    echo old > "$1"
    [ -z "$2" ] || chmod "$2" "$1"
}

# hold_lock SECONDS: a process ($holder) holds flock(2) on $DEV for SECONDS, and has taken
# it when this returns; /tmp/released appears when it lets go.
hold_lock() {
    rm -f /tmp/held /tmp/released
    flock "$DEV" sh -c "touch /tmp/held; sleep $1; touch /tmp/released" &
    holder=$!
    wait_until 10 test -e /tmp/held
}

# A run waits while another process holds the lock and reports once it lets go; eight runs
# at once all report.
lock_runs() {
    hold_lock 3
    vantorel -f "$DEV" > /tmp/lock.out 2> /tmp/lock.err 3>&- &
    waiter=$!
    sleep 1
    if kill -0 $waiter 2>/dev/null; then state=waiting; else state=finished-while-held; fi
    wait $waiter
    status=$?
    [ -e /tmp/released ] && state="$state released-first"
    wait $holder
    emit lock/waiter $status /tmp/lock.out /tmp/lock.err
    note lock/state "$state"

    pids=
    for i in 1 2 3 4 5 6 7 8; do
        vantorel -f "$DEV" > /tmp/par.$i.out 2> /tmp/par.$i.err 3>&- &
        pids="$pids $!"
    done
    i=1
    for p in $pids; do
        wait "$p"
        emit lock/par$i $? /tmp/par.$i.out /tmp/par.$i.err
        i=$((i + 1))
    done
}

# closed_fds_run NAME REDIRECTIONS: vantorel -c run by root with REDIRECTIONS closing its
# standard descriptors, as record fds/NAME, and the strace of its opens and writes as
# fds/NAME.log.
closed_fds_run() {
    run_case "fds/$1" strace -o "/tmp/$1.strace" -e trace=openat,write \
        sh -c "exec vantorel -c -f $DEV $2"
    run_case "fds/$1.log" cat "/tmp/$1.strace"
}

# stuck_fifo FIFO: FIFO, held open for reading by a process ($reader) that never reads it,
# and full, so that the next write to it blocks.
stuck_fifo() {
    rm -f "$1"
    mkfifo "$1"
    # shellcheck disable=SC2217 # opened for reading, never read
    sleep 1000 < "$1" &
    reader=$!
    head -c 65536 /dev/zero > "$1"
}

# blocked_on_pipe PID: PID sleeps in a write to a pipe.
blocked_on_pipe() {
    grep -q pipe_write "/proc/$1/wchan" 2>/dev/null
}

# second_run NAME ARGS...: runs vantorel ARGS while the first run is stuck and notes
# NAME/second-state (finished, or waiting: then it is ended), its record NAME/second.
second_run() {
    _n=$1
    shift
    vantorel "$@" -f "$DEV" > "/tmp/$_n.second.out" 2> "/tmp/$_n.second.err" &
    second=$!
    if wait_until 10 ended $second; then
        note "$_n/second-state" finished
    else
        note "$_n/second-state" waiting
        kill $second
    fi
    wait $second
    emit "$_n/second" $? "/tmp/$_n.second.out" "/tmp/$_n.second.err"
}

# A run whose standard output is a full FIFO that nobody reads: a second run reports.
fifo_runs() {
    stuck_fifo /tmp/fifo
    vantorel -c -f "$DEV" > /tmp/fifo 2> /tmp/fifo.err &
    stuck=$!
    wait_until 10 blocked_on_pipe $stuck
    note fifo/blocked "$(cat /proc/$stuck/wchan 2>/dev/null)"
    second_run fifo -c
    kill $stuck $reader 2>/dev/null
    wait $stuck $reader 2>/dev/null
}

# The same with -v, whose trace is written while the device is open: the stuck run's
# descriptors, a second run, then the first run's output once the FIFO is drained.
undrained_trace_runs() {
    stuck_fifo /tmp/vfifo
    vantorel -v -c -f "$DEV" > /tmp/vfifo 2> /tmp/vfirst.err &
    stuck=$!
    wait_until 10 blocked_on_pipe $stuck
    note vfifo/blocked "$(cat /proc/$stuck/wchan 2>/dev/null)"
    note vfifo/fds "$(ls -l /proc/$stuck/fd/ 2>&1)"
    second_run vfifo -v -c
    cat /tmp/vfifo > /tmp/vdrained &
    drainer=$!
    wait $stuck
    first=$?
    wait $drainer
    tail -c +65537 /tmp/vdrained > /tmp/vfirst.out
    emit vfifo/first $first /tmp/vfirst.out /tmp/vfirst.err
    kill $reader 2>/dev/null
    wait $reader 2>/dev/null
}

# A setuid-root copy run by nobody: the default device, a root-only device while its lock
# is held, a link, a regular file, a device of nobody's own, and -P -o into nobody's and
# root's directories. The strace logs show the opens and the privileges given up.
setuid_runs() {
    suid=/opt/suid/vantorel
    traced="strace -u nobody -o /tmp/suid.strace"
    traced="$traced -e trace=setresuid,setresgid,setuid,openat,fstat,newfstatat,flock,ioctl"
    traced="$traced,rt_sigaction,close"
    mkdir -p /opt/suid && cp /usr/bin/vantorel $suid && chmod 4755 $suid
    run_case suid/default as_nobody $suid
    hold_lock 4
    run_case suid/root-only as_nobody $suid -f "$DEV"
    if [ -e /tmp/released ]; then
        note suid/root-only-state waited
    else
        note suid/root-only-state at-once
    fi
    # shellcheck disable=SC2086 # $traced is a command line
    run_case suid/root-only-strace $traced $suid -f "$DEV"
    run_case suid/root-only-strace.log cat /tmp/suid.strace
    wait $holder
    chown nobody "$DEV"
    ln -s "$DEV" /tmp/link
    run_case suid/link as_nobody $suid -f /tmp/link
    echo not a bus > /tmp/mine && chown nobody /tmp/mine
    run_case suid/regular as_nobody $suid -f /tmp/mine
    run_case suid/own-device as_nobody $suid -v -f "$DEV"
    # shellcheck disable=SC2086
    run_case suid/own-device-strace $traced $suid -f "$DEV"
    run_case suid/own-device-strace.log cat /tmp/suid.strace
    mkdir -p /tmp/rootdir /tmp/nobodydir && chown nobody /tmp/nobodydir
    echo "root's" > /tmp/rootdir/vantorel.prom
    prom_file suid/prom-own /tmp/nobodydir/vantorel.prom as_nobody $suid
    prom_file suid/prom-root /tmp/rootdir/vantorel.prom as_nobody $suid
}

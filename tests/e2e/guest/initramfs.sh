# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The busybox guest's helpers: modules from the initramfs, and the software adapter whose
# chips the boards' registers are written into.

# The software adapter's device node: the guest's one adapter, bus 0 (vmlib.GUEST_DEV).
DEV=/dev/i2c-0

# load_module NAME [PARAMS...]: insmod NAME and the modules it depends on.
load_module() {
    _m=$1
    shift
    read -r _deps < "/lib/e2e/deps/$_m"
    for _dep in $_deps; do
        insmod "/lib/e2e/modules/$_dep.ko" 2>/dev/null
    done
    insmod "/lib/e2e/modules/$_m.ko" "$@"
}

# wait_node PATH: waits (up to five seconds) for a device node to appear.
wait_node() {
    wait_until 5 test -c "$1"
}

# stub ADDRS [OPTION...]: a fresh software adapter (bus 0, $DEV) with chips at ADDRS
# (comma-separated 7-bit addresses), every register zero; OPTIONs are more of the module's
# options (its bank emulation: bank_reg=, bank_mask=, bank_start=, bank_end=, each a list
# in the order of ADDRS).
stub() {
    rmmod i2c_stub 2>/dev/null
    _chips=$1
    shift
    load_module i2c-stub "chip_addr=$_chips" "$@"
    wait_node "$DEV"
}

# ioctl_run NAME: vantorel -f $DEV as record NAME under strace, its ioctls as NAME.log.
ioctl_run() {
    run_case "$1" strace -X raw -o /tmp/strace.log -e trace=ioctl vantorel -f "$DEV"
    run_case "$1.log" cat /tmp/strace.log
}

# as_board MAKER PRODUCT: the baseboard strings the kernel gives (board_vendor and
# board_name under /sys/class/dmi/id) become MAKER and PRODUCT, each a file of the guest's
# bound over the firmware's, so that one boot can be several boards in turn. The firmware's
# own strings (QEMU's SMBIOS table) stay underneath and come back with `as_board`.
as_board() {
    mkdir -p /tmp/.board
    for _f in board_vendor board_name; do
        umount "/sys/class/dmi/id/$_f" 2>/dev/null
    done
    [ $# -eq 2 ] || return 0
    printf '%s\n' "$1" > /tmp/.board/board_vendor
    printf '%s\n' "$2" > /tmp/.board/board_name
    for _f in board_vendor board_name; do
        mount --bind "/tmp/.board/$_f" "/sys/class/dmi/id/$_f"
    done
}

# part N [MAKER PRODUCT]: the start of the Nth of several boots that share one QEMU run
# (harness.py's one_run). What the part before left is gone: its processes, its files in
# /tmp and /opt, its chips; the records are named N/...; the board strings are MAKER and
# PRODUCT, or without them the firmware's.
part() {
    for _pid in $(jobs -p); do
        kill "$_pid" 2>/dev/null
    done
    wait
    rm -rf /tmp/* /opt
    rmmod i2c_stub 2>/dev/null
    # shellcheck disable=SC2034 # common.sh's emit reads it
    RECORD_PREFIX=$1/
    shift
    as_board "$@"
}

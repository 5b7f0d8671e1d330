# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The guest's side of the identity boot (identity.py): the kernel's own driver decides whether
# the chip at 0x2f is its chip.

# kernel_decides MODULE NAME: loads MODULE, whose detection runs on the adapter's addresses as
# the module registers; notes as record NAME "bound MODULE" when it bound the chip at 0x2f,
# "detected, not bound" when its detection accepted the chip but its probe failed, "refused"
# otherwise ("not loaded" when the module did not load, so no detection ran). Then unloads
# it, which deletes the clients its detection made.
kernel_decides() {
    if ! load_module "$1"; then
        note "$2" "not loaded"
        return
    fi
    if [ -e "$CLIENT/driver" ]; then
        _decided="bound $(basename "$(readlink "$CLIENT/driver")")"
    elif [ -e "$CLIENT" ]; then
        _decided="detected, not bound"
    else
        _decided=refused
    fi
    note "$2" "$_decided"
    rmmod "$1"
}

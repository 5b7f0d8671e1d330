#!/bin/sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The Debian guest's test unit runs this once the system is up: the results port, the
# helpers and the script (the first boot's, or the second's once the first has run), in a
# subshell that may stop early, then the power-off.
E2E=/usr/local/lib/vantorel-e2e
stty -F /dev/ttyS1 raw -echo -onlcr
exec 3>/dev/ttyS1
echo "@@BOOTED" >&3
script=$E2E/first-boot.sh
if [ -e $E2E/first-boot-done ]; then
    script=$E2E/second-boot.sh
fi
touch $E2E/first-boot-done
# shellcheck source=/dev/null
(cd /tmp && . $E2E/common.sh && . $E2E/lib.sh && . "$script")
echo "@@END" >&3
sync
systemctl poweroff --force --force

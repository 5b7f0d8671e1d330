#!/bin/sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The busybox guest's /init: mounts the kernel file systems, makes the results port raw,
# loads i2c-dev, runs the boot's test script with the helpers, then powers off. Power-off is
# a reboot that QEMU (-no-reboot) turns into an exit.
/bin/busybox --install -s /bin
export PATH=/usr/bin:/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
stty -F /dev/ttyS1 raw -echo -onlcr 2>/dev/null
exec 3>/dev/ttyS1
for f in /lib/e2e/*.sh; do
    # shellcheck source=/dev/null
    . "$f"
done
load_module i2c-dev
echo "@@BOOTED" >&3
if [ -f /test.sh ]; then
    # shellcheck source=/dev/null
    (cd /tmp && . /test.sh)
else
    echo "@@NOTEST" >&3
fi
echo "@@END" >&3
sync
reboot -f

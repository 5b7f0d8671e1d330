# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The second boot of the same disk (debian_boot.py), the timer enabled and the stub loaded by
# udev as a board's SMBus driver is: the timer's first run after boot, then the purge.

wait_until 120 ran
run_case boot/adapter sh -c 'journalctl -k -b -o short-monotonic --no-pager | grep -m1 i2c-stub'
run_case boot/runs journalctl -b -o short-monotonic --no-pager -u "$UNIT.service"
run_case boot/scrape scrape

run_case purge/purge dpkg --purge vantorel
run_case purge/timer systemctl is-active "$UNIT.timer"
run_case purge/left left_after_purge /var/lib/prometheus/node-exporter/vantorel.prom \
    "/etc/systemd/system/timers.target.wants/$UNIT.timer"

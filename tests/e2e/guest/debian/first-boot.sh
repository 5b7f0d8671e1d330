# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The first boot of the Debian system (debian_boot.py, which checks the records): the
# package installed, the timer feeding node_exporter through a held lock, a failed read, the
# kernel's driver and a second adapter, the package installed again and upgraded, the
# textfile directory taken away; then what the second boot needs. The timer runs once a
# minute, and three of its cases wait for its next run: what that run neither sees nor
# disturbs is done meanwhile (collectd through the kernel's driver while the run waits on the
# held lock, the plugin mode under Nagios 4, Icinga 2 and sudo while the runs are skipped).
# The harness puts the packages in /var/tmp and the register images in $E2E/images:
#   base     the board's plausible image       plugin   the same with the limits a BIOS sets
#   driver   a random image that the kernel's w83793 driver binds to
#   driver-setup   the registers the driver needs to bind, written over the base image
DEB=/var/tmp/vantorel.deb
NEWER_DEB=/var/tmp/vantorel-newer.deb
PROM=/var/lib/prometheus/node-exporter/vantorel.prom

note boot/uptime "$(cut -d' ' -f1 /proc/uptime)"
mkdir -p /var/lib/vantorel-e2e
new_paths $DEB > /var/lib/vantorel-e2e/new-paths
run_case pkg/install dpkg -i $DEB
dpkg -L vantorel > /var/lib/vantorel-e2e/listed
run_case pkg/enabled systemctl is-enabled "$UNIT.timer"
run_case pkg/active systemctl is-active "$UNIT.timer" "$UNIT.service"
# shellcheck disable=SC2016 # dpkg-query's format
run_case pkg/conffiles dpkg-query -W -f '${Conffiles}' vantorel
run_case pkg/verify systemd-analyze verify --man=no "$UNIT.service" "$UNIT.timer"
run_case pkg/interpreter sh -c 'ldd /usr/sbin/vantorel | grep -c libc.so.6'
run_case pkg/list vantorel -l
run_case pkg/statoverride sh -c 'dpkg-statoverride --update --add root adm 4550 \
    /usr/sbin/vantorel && stat -c "%a %U %G" /usr/sbin/vantorel && \
    dpkg-statoverride --remove /usr/sbin/vantorel && chmod 755 /usr/sbin/vantorel'

# Enabled the README's way, with i2c-dev unloaded: the first run loads it.
stub base
modprobe -r i2c_dev
run_case run1/i2c-dev-unloaded test ! -e "/dev/i2c-$BUS"
since=$(now)
run_case run1/enable systemctl enable --now "$UNIT.timer"
run_case run1/wait wait_until 60 ran_after "$since"
run_case run1/outcome outcome
run_case run1/scrape scrape
run_case run1/sandbox systemctl show -p ProtectSystem,ReadWritePaths,PrivateNetwork,\
PrivateDevices,DevicePolicy,CapabilityBoundingSet,NoNewPrivileges,ProtectKernelTunables,\
ProtectKernelModules,ProtectControlGroups,RestrictNamespaces,PrivateUsers,\
SystemCallArchitectures,TimeoutStartUSec,Type,DeviceAllow "$UNIT.service"
run_case run1/file stat -c '%a %U' $PROM

# The bus lock held: the timer's next run waits, gives up after its -t and says
# vantorel_up 0, scraped while the lock is still held. Until then (a minute or more),
# what needs neither the lock nor the timer: the daemons' configurations checked, and
# collectd's sensors plugin reading the chip through the kernel's w83793 driver, which takes
# no lock, under the names of the board's libsensors configuration; vantorel reads it through
# the driver at the same moment once the lock is released. The daemon is started first, so
# that it does not hold the lock's descriptor too.
fill driver-setup
modprobe w83793
echo w83793 0x2f > "/sys/bus/i2c/devices/i2c-$BUS/new_device"
run_case collectd/driver readlink "/sys/bus/i2c/devices/$BUS-002f/driver"
run_case collectd/configuration vantorel -S -o /etc/sensors.d/vantorel.conf
run_case collectd/start collectd_start
exec 4<"/dev/i2c-$BUS"
flock -x 4
since=$(now)
# Nagios is started by the test alone, and not at the second boot.
systemctl disable --quiet nagios4
cp "$E2E/nagios/nagios.cfg" /etc/nagios4/nagios.cfg
run_case nagios/verify sh -c 'nagios4 -v /etc/nagios4/nagios.cfg | grep Total'
cp "$E2E/icinga2.conf" /etc/icinga2/icinga2.conf
run_case icinga/verify icinga2 daemon -C
run_case hang/wait wait_until 120 ran_after "$since"
run_case hang/outcome outcome
run_case hang/timer systemctl show -p ActiveState,SubState "$UNIT.timer"
run_case hang/scrape scrape
exec 4<&-
stamp=$(date +%s)
run_case collectd/vantorel vantorel -J
run_case collectd/recorded wait_until 30 collectd_after "$stamp"
run_case collectd/values collectd_values
collectd_stop
rm /etc/sensors.d/vantorel.conf
echo 0x2f > "/sys/bus/i2c/devices/i2c-$BUS/delete_device"

modprobe -r i2c_stub
run_case fail/start systemctl start "$UNIT.service"
run_case fail/outcome outcome
run_case fail/scrape scrape

stub driver
modprobe w83793
echo w83793 0x2f > "/sys/bus/i2c/devices/i2c-$BUS/new_device"
run_case driver/link readlink "/sys/bus/i2c/devices/$BUS-002f/driver"
run_case driver/start systemctl start "$UNIT.service"
run_case driver/scrape scrape
echo 0x2f > "/sys/bus/i2c/devices/i2c-$BUS/delete_device"

stub base
modprobe i2c_piix4
udevadm settle
run_case two/adapters sh -c 'grep . /sys/bus/i2c/devices/i2c-*/name'
run_case two/start systemctl start "$UNIT.service"
run_case two/outcome outcome
run_case two/scrape scrape
sed -i "s|^ARGS=.*|ARGS=\"-f /dev/i2c-$BUS\"|" "/etc/default/$UNIT"
run_case two/start-named systemctl start "$UNIT.service"
run_case two/scrape-named scrape

run_case upgrade/install dpkg -i $DEB
run_case upgrade/state sh -c "systemctl is-enabled $UNIT.timer; \
    systemctl is-active $UNIT.timer; grep '^ARGS=' /etc/default/$UNIT"

run_case newer/install dpkg -i $NEWER_DEB
# shellcheck disable=SC2016 # dpkg-query's format
run_case newer/version dpkg-query -W -f '${Version}' vantorel
run_case newer/state sh -c "systemctl is-enabled $UNIT.timer; systemctl is-active $UNIT.timer"
run_case newer/service systemctl show -p TimeoutStartUSec,NeedDaemonReload "$UNIT.service"
run_case newer/timer systemctl show -p AccuracyUSec,NeedDaemonReload "$UNIT.timer"

# The textfile directory goes while the timer runs: its next run is skipped, no process
# started; once the directory is back, the run after reads the board again. While the runs
# are skipped (a minute or two), the chip is the plugin mode's, whose runs find the adapter
# themselves, with the stub the one adapter again; then the board's image again, on the bus
# that the defaults file names, before the directory comes back.
away=$(now)
mv /var/lib/prometheus/node-exporter /var/lib/prometheus/away
modprobe -r i2c_piix4

# The plugin mode under Nagios 4: the program given to the daemon's user the README's way,
# the package's command definition, the daemon's own scheduling, the state it records.
stub plugin
run_case nagios/statoverride sh -c 'dpkg-statoverride --update --add root nagios 4750 \
    /usr/sbin/vantorel && stat -c "%a %U %G" /usr/sbin/vantorel'
run_case nagios/as-nagios runuser -u nagios -- /usr/sbin/vantorel -N -x FAN5
run_case nagios/as-nobody runuser -u nobody -- /usr/sbin/vantorel -N
since=$(date +%s)
run_case nagios/restart systemctl restart nagios4
run_case nagios/ok recorded_state /var/lib/nagios4/status.dat "$since" 120
run_case nagios/user sh -c 'ps -o user= -C nagios4 | sort -u'
# The -12V rail (register 0x14) out of its limits, then back; CPU1 Temperature (0x1c) at
# 72 C, between its warning limit and its limit.
rail=$(i2cget -y "$BUS" 0x2f 0x14)
i2cset -y "$BUS" 0x2f 0x14 0x10
since=$(date +%s)
run_case nagios/critical recorded_state /var/lib/nagios4/status.dat "$since" 60
i2cset -y "$BUS" 0x2f 0x14 "$rail"
i2cset -y "$BUS" 0x2f 0x1c 0x48
since=$(date +%s)
run_case nagios/warning recorded_state /var/lib/nagios4/status.dat "$since" 60
modprobe -r i2c_stub
since=$(date +%s)
run_case nagios/unknown recorded_state /var/lib/nagios4/status.dat "$since" 60
systemctl stop nagios4

# The same check under Icinga 2, whose user is nagios too: its checker runs the package's
# CheckCommand, which builds the command line (its log shows it), and the state it records.
stub plugin
since=$(date +%s)
run_case icinga/start systemctl start icinga2
run_case icinga/ok recorded_state /var/cache/icinga2/status.dat "$since" 120
rail=$(i2cget -y "$BUS" 0x2f 0x14)
i2cset -y "$BUS" 0x2f 0x14 0x10
since=$(date +%s)
run_case icinga/critical recorded_state /var/cache/icinga2/status.dat "$since" 60
i2cset -y "$BUS" 0x2f 0x14 "$rail"
systemctl stop icinga2
run_case icinga/commands icinga_commands /usr/sbin/vantorel
dpkg-statoverride --remove /usr/sbin/vantorel && chmod 755 /usr/sbin/vantorel

# The other documented way: sudo for the exact command lines (the README's sudoers line),
# and nothing else. sudo wants the host's own name to resolve.
stub plugin
echo "127.0.1.1 $(hostname)" >> /etc/hosts
echo 'nagios ALL=(root) NOPASSWD: /usr/sbin/vantorel -N, /usr/sbin/vantorel -N -x FAN5' \
    > /etc/sudoers.d/vantorel
chmod 440 /etc/sudoers.d/vantorel
run_case sudo/visudo visudo -c -q -f /etc/sudoers.d/vantorel
run_case sudo/without runuser -u nagios -- /usr/sbin/vantorel -N
run_case sudo/allowed runuser -u nagios -- sudo -n /usr/sbin/vantorel -N -x FAN5
run_case sudo/other-options runuser -u nagios -- sudo -n /usr/sbin/vantorel -N -f "/dev/i2c-$BUS"
rm /etc/sudoers.d/vantorel

stub base
sed -i "s|^ARGS=.*|ARGS=\"-f /dev/i2c-$BUS\"|" "/etc/default/$UNIT"
run_case gone/wait wait_until 120 checked_after "$away"
run_case gone/service systemctl show -p ActiveState,ConditionResult,Result "$UNIT.service"
run_case gone/no-process test "$(service_property ExecMainStartTimestampMonotonic)" -lt "$away"
run_case gone/timer systemctl show -p ActiveState,SubState "$UNIT.timer"
mv /var/lib/prometheus/away /var/lib/prometheus/node-exporter
since=$(now)
run_case back/wait wait_until 120 ran_after "$since"
run_case back/outcome outcome
run_case back/scrape scrape

mv /var/lib/prometheus/node-exporter /var/lib/prometheus/away
systemctl restart "$UNIT.timer"
run_case idle/timer systemctl show -p ConditionResult,ActiveState "$UNIT.timer"
mv /var/lib/prometheus/away /var/lib/prometheus/node-exporter

# For the second boot, with the timer enabled: the software adapter comes as a board's SMBus
# controller does, loaded by udev when the PCI device of QEMU's SMBus function (the PIIX4's
# 8086:7113, whose own driver is blacklisted) is added, and the adapter is searched for.
sed -i 's|^ARGS=.*|ARGS=""|' "/etc/default/$UNIT"
echo "options i2c-stub chip_addr=0x2f" > /etc/modprobe.d/vantorel-e2e.conf
echo 'ACTION=="add", SUBSYSTEM=="pci", ATTR{vendor}=="0x8086", ATTR{device}=="0x7113",' \
    'RUN{builtin}+="kmod load i2c-stub"' > /etc/udev/rules.d/70-vantorel-e2e.rules

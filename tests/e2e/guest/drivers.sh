# shellcheck shell=sh
# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# The guest's side of the kernel's drivers (drivers.py): the adapter search, a chip that a
# driver holds, the driver's own attributes, and a driver that comes and goes while the
# program runs. The chip the drivers claim is the board's, at 0x2f on bus 0.

CLIENT=/sys/bus/i2c/devices/0-002f

# new_client NAME: asks the kernel for a client NAME at 0x2f, which its driver binds.
new_client() {
    echo "$1 0x2f" > /sys/bus/i2c/devices/i2c-0/new_device
}

# bind_driver MODULE [NAME]: loads MODULE and makes the client (NAME, by default MODULE).
bind_driver() {
    load_module "$1"
    new_client "${2:-$1}"
}

# release_driver: deletes the client at 0x2f, so the chip is the bus's again.
release_driver() {
    echo 0x2f > /sys/bus/i2c/devices/i2c-0/delete_device
}

# hwmon_attributes PATTERN...: "NAME VALUE" of the driver's attributes that PATTERNs
# (globs in its hwmon directory) name.
hwmon_attributes() {
    _d=$CLIENT
    [ -e $_d/in0_input ] || _d=$(dirname $_d/hwmon/hwmon*/in0_input)
    for _p in "$@"; do
        for _f in "$_d"/$_p; do
            [ -e "$_f" ] && read -r _v < "$_f" && echo "${_f##*/} $_v"
        done
    done
    true
}

# The readings the driver computes, and its limits and status bits.
driver_readings() {
    hwmon_attributes 'in*_input' 'temp*_input' 'fan*_input'
}
driver_limits() {
    hwmon_attributes 'in*_min' 'in*_max' 'temp*_max' 'temp*_max_hyst' 'temp*_warn' \
        'temp*_warn_hyst' 'fan*_min' '*_alarm'
}

# adapters: "i2c-N NAME" of every I2C adapter.
adapters() {
    for _a in /sys/bus/i2c/devices/i2c-*; do
        echo "${_a##*/} $(cat "$_a/name")"
    done
}

# Runs without -f: one adapter, two (the stub and i2c-piix4), no i2c-dev, none.
search_runs() {
    run_case search/default vantorel
    run_case search/named vantorel -f "$DEV"
    run_case search/verbose vantorel -v
    load_module i2c-piix4
    wait_node /dev/i2c-1
    run_case search/adapters adapters
    run_case search/several vantorel
    run_case search/several-named vantorel -f "$DEV"
    rmmod i2c_piix4
    rmmod i2c_dev
    run_case search/no-i2c-dev vantorel
    load_module i2c-dev
    wait_node "$DEV"
    rmmod i2c_stub
    run_case search/none vantorel
}

# The chip held by w83793, which the program reads through; then by at24, which it cannot.
busy_chip_runs() {
    bind_driver w83793
    run_case held/driver readlink $CLIENT/driver
    run_case held/plain vantorel
    release_driver
    # The stub answers as a W83793G, so the driver's own detection may have claimed the chip
    # as well when it loaded (the stub's adapter is of the hardware-monitoring class): only
    # unloading the driver lets the address go for another.
    rmmod w83793
    bind_driver at24 24c02
    run_case busy/driver readlink $CLIENT/driver
    run_case busy/plain vantorel
    run_case busy/verbose vantorel -v
    echo 0-002f > /sys/bus/i2c/drivers/at24/unbind
    run_case busy/released vantorel
}

# The libsensors configuration of every board (vantorel -S), in /etc/sensors.d/ beside
# Debian's /etc/sensors3.conf, with the kernel's driver bound to the chip: the guest takes
# each board's baseboard strings in turn (as_board). Records lmsensors/IMAGE/...
SENSORS_CONF=/etc/sensors.d/vantorel.conf

# lmsensors_bind DRIVER IMAGE: DRIVER bound to the chip, no configuration of vantorel's
# installed; the driver's limit attributes as record lmsensors/IMAGE/attributes.
lmsensors_bind() {
    bind_driver "$1"
    mkdir -p /etc/sensors.d
    rm -f $SENSORS_CONF
    run_case "lmsensors/$2/attributes" driver_limits
}

# lmsensors_board IMAGE PRODUCT: the guest is board PRODUCT; its configuration installed,
# what sensors -j shows and what vantorel -J -a shows (records lmsensors/IMAGE/PRODUCT/conf,
# sensors and vantorel).
lmsensors_board() {
    as_board Supermicro "$2"
    run_case "lmsensors/$1/$2/conf" vantorel -S -o $SENSORS_CONF
    run_case "lmsensors/$1/$2/sensors" sensors -j
    run_case "lmsensors/$1/$2/vantorel" vantorel -f "$DEV" -J -a
}

# The chip's 256 registers as i2cdump shows them, read beside the driver that holds it.
chip_dump() {
    i2cdump -f -y 0 0x2f b
}

# sets_start NAME: the chip's registers now are the ones each sets_run starts from (record
# sets/NAME).
sets_start() {
    chip_dump > /tmp/start.dump
    run_case "sets/$1" cat /tmp/start.dump
}

# sets_run DRIVER NAME: sensors -s with the configuration installed now, then the chip's
# registers (records sets/NAME and sets/NAME.dump); then every register back as sets_start
# found it, and DRIVER bound afresh, so that nothing it cached outlives them.
sets_run() {
    run_case "sets/$2" sensors -s
    chip_dump > /tmp/chip.dump
    run_case "sets/$2.dump" cat /tmp/chip.dump
    awk 'FNR == 1 { next }
        NR == FNR { for (i = 2; i <= 17; i++) start[$1 i] = $i; next }
        { for (i = 2; i <= 17; i++)
              if ($i != start[$1 i])
                  printf "i2cset -f -y 0 0x2f 0x%s%x 0x%s\n", substr($1, 1, 1), i - 2,
                      start[$1 i] }' /tmp/start.dump /tmp/chip.dump | sh
    release_driver
    new_client "$1"
}

# churn_runs DRIVER RUNS: DRIVER's client bound, unbound, deleted and made again in a loop
# while vantorel runs RUNS times (records churn/1 ...).
churn_runs() {
    load_module "$1"
    rm -f /tmp/churn.stop
    (
        while [ ! -e /tmp/churn.stop ]; do
            new_client "$1"
            for pause in 0 3000 7000 12000 20000; do
                usleep $pause
                echo 0-002f > "/sys/bus/i2c/drivers/$1/unbind"
                usleep $((pause / 3))
                echo 0-002f > "/sys/bus/i2c/drivers/$1/bind"
            done
            release_driver
        done
    ) 2>/dev/null &
    churner=$!
    i=1
    while [ $i -le "$2" ]; do
        run_case churn/$i vantorel -f "$DEV"
        i=$((i + 1))
    done
    touch /tmp/churn.stop
    wait $churner
    release_driver 2>/dev/null
}

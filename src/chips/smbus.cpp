// SMBus byte access: the only place where the program touches the hardware. Each call is
// exactly one transaction; there is no retry and no check of the value.
#include "chips/chips.h"
#include "main/trace.h"
#include "platform/platform.h"

#include <err.h>
#include <string.h>
#include <sysexits.h>

// The data byte of the most recent read. Calls never overlap, so one buffer serves them all.
static char result_byte;

uint8_t read_byte(int fd, int32_t slave, uint8_t idxreg) {
    debug_print("read_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x)\n", fd,
                static_cast<unsigned>(slave), idxreg);
    struct smbcmd c;
    memset(&c, 0, sizeof c);
    c.slave = slave << 1; // the 8-bit address with the read/write bit clear
    c.rbuf = &result_byte;
    c.rcount = 1;
    c.cmd = idxreg;
    if (platform_smb_request(fd, SMB_READB, &c) == -1)
        err(EX_IOERR, "ioctl(SMB_READB) failed");
    uint8_t value = static_cast<uint8_t>(result_byte);
    debug_print("read_byte() returning 0x%02x\n", value);
    return value;
}

void read_registers(int fd, int32_t slave, const uint8_t *list, unsigned n, uint8_t image[256]) {
    memset(image, 0, 256);
    for (unsigned i = 0; i < n; i++)
        image[list[i]] = read_byte(fd, slave, list[i]);
}

void write_byte(int fd, int32_t slave, uint8_t idxreg, uint8_t value) {
    debug_print("write_byte(fd = %d, slave = 0x%02x, idxreg = 0x%02x, value = 0x%02x)\n", fd,
                static_cast<unsigned>(slave), idxreg, value);
    struct smbcmd c;
    memset(&c, 0, sizeof c);
    c.slave = slave << 1;
    c.wdata.byte = static_cast<char>(value);
    c.cmd = idxreg;
    if (platform_smb_request(fd, SMB_WRITEB, &c) == -1)
        err(EX_IOERR, "ioctl(SMB_WRITEB) failed");
    debug_print("write_byte() returning\n");
}

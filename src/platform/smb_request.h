// The SMBus request record and its two ioctl codes, in the layout of the BSD smb(4) driver.
// On FreeBSD they come from the system; elsewhere the same record is declared here and the
// platform carries it to whatever bus interface the system has.
#pragma once

#if defined(VANTOREL_FREEBSD)

#include <sys/types.h>
#include <sys/ioccom.h>
#include <dev/smbus/smb.h>

#else

struct smbcmd {
    unsigned char cmd; // command code: the chip register number
    unsigned char reserved;
    unsigned short op;
    union {
        char byte;
        char buf[2];
        short word;
    } wdata; // data byte of a write
    union {
        char byte;
        char buf[2];
        short word;
    } rdata;
    int slave; // 8-bit bus address: the 7-bit address shifted left, read/write bit clear
    char *wbuf;
    int wcount;
    char *rbuf; // where a read delivers its data byte
    int rcount;
};

// _IOWR('i', 7, struct smbcmd) and _IOW('i', 5, struct smbcmd) in BSD encoding.
#define SMB_READB 0xC0306907UL
#define SMB_WRITEB 0x80306905UL

#endif

#if defined(__x86_64__)
static_assert(sizeof(struct smbcmd) == 48, "smbcmd must keep the x86-64 smb(4) ABI");
static_assert(static_cast<unsigned long>(SMB_READB) == 0xC0306907UL, "SMB_READB");
static_assert(static_cast<unsigned long>(SMB_WRITEB) == 0x80306905UL, "SMB_WRITEB");
#endif

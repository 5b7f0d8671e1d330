// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Stand-in for FreeBSD's <dev/smbus/smb.h> (FreeBSD 12 and later), written from the ABI that
// smb(4) documents: only the record and the two byte requests the program uses.
#pragma once
#include <sys/types.h>
#include <sys/ioccom.h>

struct smbcmd {
    u_char cmd;
    u_char reserved;
    u_short op;
    union {
        char byte;
        char buf[2];
        short word;
    } wdata;
    union {
        char byte;
        char buf[2];
        short word;
    } rdata;
    int slave;
    char *wbuf;
    int wcount;
    char *rbuf;
    int rcount;
};

#define SMB_WRITEB _IOW('i', 5, struct smbcmd)
#define SMB_READB _IOWR('i', 7, struct smbcmd)

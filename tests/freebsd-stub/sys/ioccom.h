// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Stand-in for FreeBSD's <sys/ioccom.h>: the BSD ioctl request encoding, and ioctl(2), which
// FreeBSD declares here.
#pragma once
#define IOCPARM_MASK 0x1fff
#define IOC_OUT 0x40000000UL
#define IOC_IN 0x80000000UL
#define IOC_INOUT (IOC_IN | IOC_OUT)
#define _IOC(inout, group, num, len)                                                               \
    ((unsigned long)((inout) | (((len)&IOCPARM_MASK) << 16) | ((group) << 8) | (num)))
#define _IOW(g, n, t) _IOC(IOC_IN, (g), (n), sizeof(t))
#define _IOWR(g, n, t) _IOC(IOC_INOUT, (g), (n), sizeof(t))

extern "C" int ioctl(int fd, unsigned long request, ...);

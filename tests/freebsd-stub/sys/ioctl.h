// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Stand-in for FreeBSD's <sys/ioctl.h>, which declares ioctl(2) through <sys/ioccom.h>. It
// keeps the build machine's own <sys/ioctl.h> out: that one brings Linux's _IOC, _IOW and
// _IOWR, which replace the BSD ones, and Linux's _IOW sets bit 30 where BSD's sets bit 31
// (IOC_IN), so SMB_WRITEB would come out as 0x40306905 instead of 0x80306905.
#pragma once
#include <sys/ioccom.h>

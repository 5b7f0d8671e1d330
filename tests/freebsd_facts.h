// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the FreeBSD platform takes from FreeBSD's headers, checked at compile time wherever
// this header is included: against the stand-ins in freebsd-stub by the host's unit tests, and
// against FreeBSD 14's own headers by freebsd-check. Both compiling means the stand-ins say
// what FreeBSD says.
#pragma once

#include <sys/types.h>
#include <sys/ioccom.h>
#include <dev/smbus/smb.h>

#include <fcntl.h>
#include <kenv.h>
#include <stddef.h>
#include <sys/ioctl.h>

#include <type_traits>

namespace freebsd_facts {
// smb(4)'s byte requests on amd64: ioctl group 'i' over the 48-byte struct smbcmd; a read
// (number 7) copies the record in and back out, a write (number 5) copies it in only.
inline constexpr unsigned long smb_readb = 0xc0306907;
inline constexpr unsigned long smb_writeb = 0x80306905;
} // namespace freebsd_facts

static_assert(SMB_READB == freebsd_facts::smb_readb);
static_assert(SMB_WRITEB == freebsd_facts::smb_writeb);

static_assert(sizeof(struct smbcmd) == 48);
static_assert(offsetof(struct smbcmd, cmd) == 0);
static_assert(offsetof(struct smbcmd, reserved) == 1);
static_assert(offsetof(struct smbcmd, op) == 2);
static_assert(offsetof(struct smbcmd, wdata) == 4);
static_assert(offsetof(struct smbcmd, rdata) == 6);
static_assert(offsetof(struct smbcmd, slave) == 8);
static_assert(offsetof(struct smbcmd, wbuf) == 16);
static_assert(offsetof(struct smbcmd, wcount) == 24);
static_assert(offsetof(struct smbcmd, rbuf) == 32);
static_assert(offsetof(struct smbcmd, rcount) == 40);
static_assert(std::is_same_v<decltype(smbcmd::cmd), u_char>);
static_assert(std::is_same_v<decltype(smbcmd{}.wdata.byte), char>);
static_assert(std::is_same_v<decltype(smbcmd::slave), int>);
static_assert(std::is_same_v<decltype(smbcmd::wbuf), char *>);
static_assert(std::is_same_v<decltype(smbcmd::wcount), int>);
static_assert(std::is_same_v<decltype(smbcmd::rbuf), char *>);
static_assert(std::is_same_v<decltype(smbcmd::rcount), int>);

static_assert(KENV_GET == 0);
static_assert(std::is_same_v<decltype(&kenv), int (*)(int, const char *, char *, int)>);
static_assert(std::is_same_v<decltype(&ioctl), int (*)(int, unsigned long, ...)>);

// open(2)'s flag for an exclusive flock(2) taken as part of the open.
static_assert(O_EXLOCK == 0x0020);

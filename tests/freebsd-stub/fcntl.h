// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Stand-in: the host's <fcntl.h> plus FreeBSD's O_EXLOCK (open with an exclusive flock).
#pragma once
#include_next <fcntl.h>
#ifndef O_EXLOCK
#define O_EXLOCK 0x0020
#endif

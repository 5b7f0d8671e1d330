// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// signal(3), SIGPIPE and SIG_IGN: from the system's <signal.h>, or, for a FreeBSD header set
// that leaves <signal.h> out, as FreeBSD defines them (signal 13, handler 1).
#pragma once

#if __has_include(<signal.h>)
#include <signal.h>
#else
extern "C" void (*signal(int, void (*)(int)))(int);
#define SIGPIPE 13
#define SIG_IGN (reinterpret_cast<void (*)(int)>(1))
#endif

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// signal(3), SIGPIPE, the terminal's stop signals, SIG_IGN and SIG_ERR: from the system's
// <signal.h>, or, for a FreeBSD header set that leaves <signal.h> out, as FreeBSD defines them
// (signals 13, 18, 21 and 22; handlers 1 and -1).
#pragma once

#if __has_include(<signal.h>)
#include <signal.h>
#else
extern "C" void (*signal(int, void (*)(int)))(int);
#define SIGPIPE 13
#define SIGTSTP 18
#define SIGTTIN 21
#define SIGTTOU 22
#define SIG_IGN (reinterpret_cast<void (*)(int)>(1))
#define SIG_ERR (reinterpret_cast<void (*)(int)>(-1))
#endif

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The facts against FreeBSD 14's own headers: freebsd-check compiles this for FreeBSD, as the
// FreeBSD platform is compiled.
#include "freebsd_facts.h"

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Stand-in for FreeBSD's <kenv.h>: KENV_GET and kenv(2).
#pragma once
#define KENV_GET 0
extern "C" int kenv(int action, const char *name, char *value, int len);

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The bus device of a reading: opened and locked for the run, waiting for another run's lock
// as the options say, and what the run says when that lock stays held.
#pragma once

#include "main/options.h"
#include "platform/platform.h"

// Opens and locks the bus device into BUS: the one the user named, or the platform's
// default, waiting for another run's lock as the options say. In a SETUID_RUN a device the
// user named is opened only if they could open it themselves, while the default device (the
// platform's choice, which the user has no say in) is what the installation grants them.
// Returns 0; EX_TEMPFAIL when the lock stayed held for the whole wait; or EX_NOINPUT; after
// the reason.
int open_device(const options &opts, bool setuid_run, bus_handle &bus);

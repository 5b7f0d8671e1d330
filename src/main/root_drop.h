// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// A setuid-root run gives up root as soon as it no longer needs it: once the bus device is
// open, or at once for what needs no privilege (-S, the file of a failed exposition). The
// system's calls are the platform's (platform_drop_privileges); when to make them, and what
// the run says when they fail, is the run sequence's.
#pragma once

// Whether the run holds root that the user who ran it does not: effective root, another real
// user.
bool holds_borrowed_root();

// Whether giving up root says why it failed.
enum class say_why { no, yes };

// Gives up root for good in a setuid-root run, and traces it. False if that failed, after
// the failure's message when SAY is yes.
bool give_up_root(say_why say);

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The -v trace: every step of a run narrated on standard output, each line prefixed "==> ".
// And what the program says while it holds the bus: held in memory until the device is let go.
// The leaf of the program: every other part may use it, and it uses only the C library.
#pragma once

extern bool opt_verbose;

// printf-style; writes only while opt_verbose is set, through the same buffered stdout
// stream as the report, so trace and report keep their relative order. Held while output is
// held.
void debug_print(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Output held while the device is open. The device lock is exclusive and every other run
// waits for it, so nothing may block while it is taken: not even a write to a pipe that its
// reader never drains, which blocks for as long as the reader pleases. Between output_hold()
// and output_release(), whatever the program says through this module (debug_print,
// say_puts, say_warn, say_warnx) goes to memory instead; output_release() then hands it to
// stdout and stderr in the order in which it was said, byte for byte as it would have gone
// there directly, through the same stdio streams (so a terminal still sees the trace and the
// messages interleaved as they happened). Call output_release() only once the device is
// closed, on every path that closes it; it does nothing when nothing is held, and so does a
// second output_hold().
//
// Memory that cannot be had ends the hold at once: what was held so far is written out, in
// order, and everything after it goes directly, as without a hold. Nothing is lost or
// reordered; only the protection from a blocking reader is given up.
void output_hold();
void output_release();

// puts(3): TEXT and a newline on standard output, held while output is held.
void say_puts(const char *text);

// warn(3) and warnx(3): the program's name as err(3) gives it, ": ", the message, and for
// say_warn ": " and the text of errno; a newline; on standard error, held while output is
// held. errno is kept.
void say_warn(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void say_warnx(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Messages kept for a report of their own (the monitoring-plugin form puts them on its status
// line). From messages_keep() on, what say_puts, say_warn and say_warnx say is kept in memory
// instead of written: the text each would write, without the program's name before it, on
// one line (a line feed inside a message becomes a blank). kept_messages() gives them in the
// order said, each ended by a line feed ("" when none); messages_drop() ends the keeping and
// frees them. A message that memory cannot be had for is written as without the keeping.
void messages_keep();
const char *kept_messages();
void messages_drop();

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The -v trace: every step of a run narrated on standard output, each line prefixed "==> ".
// And the one output log: what the program says while it holds the bus, held in memory until
// the device is let go, and the messages that -N keeps for its status line.
// The leaf of the program: every other part may use it, and it uses only the C library.
#pragma once

#include <span>
#include <stddef.h>

extern bool opt_verbose;

// printf-style; writes only while opt_verbose is set, through the same buffered stdout
// stream as the report, so trace and report keep their relative order. Held while output is
// held.
void debug_print(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// --- the one output log ---
//
// Whatever the program says through this module (debug_print, say_puts, say_warn, say_warnx)
// goes either straight to its stream or into the one output log of the process: a list of
// records, each the stream it is for and its text, in the order said. Two things put records
// there:
//
// Output held while the device is open. The device lock is exclusive and every other run
// waits for it, so nothing may block while it is taken: not even a write to a pipe that its
// reader never drains, which blocks for as long as the reader pleases. Between output_hold()
// and output_release(), what is said for standard output and standard error is held;
// output_release() then hands it to stdout and stderr in the order in which it was said, byte
// for byte as it would have gone there directly, through the same stdio streams (so a
// terminal still sees the trace and the messages interleaved as they happened). Call
// output_release() only once the device is closed, on every path that closes it; it does
// nothing when nothing is held, and so does a second output_hold().
//
// Messages kept for the monitoring-plugin form's status line. From messages_keep() on, what
// say_puts, say_warn and say_warnx say is kept for the status line instead of written, while
// the trace still goes to standard output (held or not); kept_messages() gives the messages,
// and messages_drop() ends the keeping and lets them go. A release leaves them where they are.
//
// Memory that cannot be had for a record ends the hold at once: what was held so far is
// written out, in order, and the record and everything after it go directly, as without a
// hold; a message that cannot be kept is written as without the keeping. Nothing is lost or
// reordered; only the protection from a blocking reader is given up.
void output_hold();
void output_release();

// puts(3): TEXT and a newline on standard output.
void say_puts(const char *text);

// warn(3) and warnx(3): the program's name as err(3) gives it, ": ", the message, and for
// say_warn ": " and the text of errno; a newline; on standard error. errno is kept.
void say_warn(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void say_warnx(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

void messages_keep();
void messages_drop();

// The messages kept since messages_keep(), in the order said. Each is the text that puts(3),
// warn(3) or warnx(3) would have written, without the program's name before it and the
// newline after it; a line feed inside a message stays. Valid until the next thing said, the
// next release or messages_drop().
class kept_message_list {
  public:
    class iterator {
      public:
        std::span<const char> operator*() const;
        iterator &operator++();
        bool operator==(const iterator &) const = default;

      private:
        friend class kept_message_list;
        explicit iterator(size_t at) : at_(at) {}
        size_t at_; // where the message's record starts in the log; the log's end after the last
    };
    iterator begin() const;
    iterator end() const;
    bool empty() const {
        return begin() == end();
    }
};

kept_message_list kept_messages();

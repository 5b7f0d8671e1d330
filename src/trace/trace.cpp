// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "trace/trace.h"

#include <err.h>
#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <span>

bool opt_verbose = false;

namespace {

// The two streams that held output is bound for.
enum class stream : unsigned char { out, err };

FILE *file_of(stream to) {
    return to == stream::out ? stdout : stderr;
}

// One run of bytes bound for one stream; its LENGTH bytes follow it in the log.
struct run_header {
    stream to;
    size_t length;
};

// What was said while output was held, in the order it was said: one malloc'ed log of runs,
// each a header and its bytes. Bytes said for the stream of the last run extend that run.
struct held_output {
    bool holding = false;
    char *log = nullptr;
    size_t used = 0;
    size_t room = 0;
    size_t last_run = 0; // offset of the last run's header; meaningful while used > 0
};

// The one hold of the process, like the stdio streams it stands in front of.
held_output &held() {
    static held_output h;
    return h;
}

run_header header_at(const held_output &h, size_t at) {
    run_header r;
    memcpy(&r, h.log + at, sizeof r);
    return r;
}

// Hands every run to its stream, in order, and ends the hold.
void write_out(held_output &h) {
    for (size_t at = 0; at < h.used;) {
        const run_header r = header_at(h, at);
        at += sizeof r;
        fwrite(h.log + at, 1, r.length, file_of(r.to));
        at += r.length;
    }
    free(h.log);
    h = held_output{};
}

// Makes room for MORE bytes after the USED ones of the malloc'ed block DATA of ROOM bytes,
// doubling it as often as needed; false, the block as it was, when memory cannot be had.
bool make_room(char *&data, size_t &room, size_t used, size_t more) {
    if (room - used >= more)
        return true;
    size_t want = room == 0 ? 8192 : room; // a whole -v run of the readers fits at once
    while (want - used < more) {
        if (want > SIZE_MAX / 2)
            return false;
        want *= 2;
    }
    char *grown = static_cast<char *>(realloc(data, want));
    if (grown == nullptr)
        return false;
    data = grown;
    room = want;
    return true;
}

// Where the next LEN bytes for TO go, with room for one more (vsnprintf's terminator), in the
// run of TO at the end of the log; null when memory cannot be had. commit() counts them in.
char *reserve(held_output &h, stream to, size_t len) {
    const bool same_run = h.used > 0 && header_at(h, h.last_run).to == to;
    const size_t header = same_run ? 0 : sizeof(run_header);
    if (len > SIZE_MAX - header - 1 || !make_room(h.log, h.room, h.used, header + len + 1))
        return nullptr;
    if (!same_run) {
        const run_header r{to, 0};
        memcpy(h.log + h.used, &r, sizeof r);
        h.last_run = h.used;
        h.used += sizeof r;
    }
    return h.log + h.used;
}

void commit(held_output &h, size_t len) {
    run_header r = header_at(h, h.last_run);
    r.length += len;
    memcpy(h.log + h.last_run, &r, sizeof r);
    h.used += len;
}

bool append(held_output &h, stream to, const char *text) {
    const size_t len = strlen(text);
    char *at = reserve(h, to, len);
    if (at == nullptr)
        return false;
    memcpy(at, text, len);
    commit(h, len);
    return true;
}

// What FMT makes of AP, as vprintf would write it. AP itself is left unused for the caller.
bool append_formatted(held_output &h, stream to, const char *fmt, va_list ap) {
    va_list measure;
    va_copy(measure, ap);
    const int n = vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0) // a format that printf cannot write either: nothing
        return true;
    char *at = reserve(h, to, static_cast<size_t>(n));
    if (at == nullptr)
        return false;
    va_list copy;
    va_copy(copy, ap);
    vsnprintf(at, static_cast<size_t>(n) + 1, fmt, copy);
    va_end(copy);
    commit(h, static_cast<size_t>(n));
    return true;
}

// The state of the log before a message, to take a message back whole.
struct log_mark {
    size_t used;
    size_t last_run;
    size_t last_length;
};

log_mark mark(const held_output &h) {
    return {h.used, h.last_run, h.used > 0 ? header_at(h, h.last_run).length : 0};
}

// Holds one message for TO: the texts BEFORE, what FMT makes of AP, and the texts AFTER,
// whole or not at all. False, with the hold over and what it held written out, when the
// message was not held: when nothing is held, or when memory ran out. The caller then writes
// it directly, after everything said before it.
bool hold_message(stream to, std::span<const char *const> before, const char *fmt, va_list ap,
                  std::span<const char *const> after) {
    held_output &h = held();
    if (!h.holding)
        return false;
    const log_mark start = mark(h);
    bool whole = true;
    for (const char *text : before)
        whole = whole && append(h, to, text);
    whole = whole && append_formatted(h, to, fmt, ap);
    for (const char *text : after)
        whole = whole && append(h, to, text);
    if (whole)
        return true;
    h.used = start.used;
    h.last_run = start.last_run;
    if (start.used > 0) {
        run_header r = header_at(h, start.last_run);
        r.length = start.last_length;
        memcpy(h.log + start.last_run, &r, sizeof r);
    }
    write_out(h);
    return false;
}

// The messages kept since messages_keep(): one malloc'ed string, a message a line.
struct kept_log {
    bool keeping = false;
    char *text = nullptr;
    size_t used = 0;
    size_t room = 0;
};

kept_log &kept() {
    static kept_log k;
    return k;
}

// Keeps what FMT makes of AP, then the texts AFTER, as one line. False when nothing is kept or
// memory ran out (the log is then as it was).
bool keep_message(const char *fmt, va_list ap, std::span<const char *const> after) {
    kept_log &k = kept();
    if (!k.keeping)
        return false;
    va_list measure;
    va_copy(measure, ap);
    const int n = vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (n < 0)
        return true;
    size_t len = static_cast<size_t>(n);
    for (const char *text : after)
        len += strlen(text);
    // The line feed and the terminator.
    if (len > SIZE_MAX - k.used - 2 || !make_room(k.text, k.room, k.used, len + 2))
        return false;
    char *at = k.text + k.used;
    va_list copy;
    va_copy(copy, ap);
    vsnprintf(at, static_cast<size_t>(n) + 1, fmt, copy);
    va_end(copy);
    size_t put = static_cast<size_t>(n);
    for (const char *text : after) {
        memcpy(at + put, text, strlen(text));
        put += strlen(text);
    }
    for (size_t i = 0; i < put; i++)
        if (at[i] == '\n')
            at[i] = ' ';
    at[put] = '\n';
    at[put + 1] = '\0';
    k.used += put + 1;
    return true;
}

bool keep_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
bool keep_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const bool kept_it = keep_message(fmt, ap, {});
    va_end(ap);
    return kept_it;
}

// The name that err(3) puts before its messages: the last component of argv[0].
const char *program_name() {
#if defined(__GLIBC__)
    return program_invocation_short_name;
#else
    return getprogname();
#endif
}

// warn(3) held, "NAME: message: reason\n" with the text of errno ERROR, or, without REASON,
// warnx(3): "NAME: message\n".
bool hold_warning(const char *fmt, va_list ap, int error, bool reason) {
    if (!held().holding)
        return false;
    const char *const before[] = {program_name(), ": "};
    if (!reason) {
        const char *const after[] = {"\n"};
        return hold_message(stream::err, before, fmt, ap, after);
    }
    const char *const after[] = {": ", strerror(error), "\n"};
    return hold_message(stream::err, before, fmt, ap, after);
}

// printf(3), held for TO.
bool hold_printf(stream to, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
bool hold_printf(stream to, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const bool whole = hold_message(to, {}, fmt, ap, {});
    va_end(ap);
    return whole;
}

} // namespace

void debug_print(const char *fmt, ...) {
    if (!opt_verbose)
        return;
    va_list ap;
    va_start(ap, fmt);
    const char *const prefix[] = {"==> "};
    if (!hold_message(stream::out, prefix, fmt, ap, {})) {
        fputs("==> ", stdout);
        vprintf(fmt, ap);
    }
    va_end(ap);
}

void output_hold() {
    held().holding = true;
}

void output_release() {
    held_output &h = held();
    if (h.holding)
        write_out(h);
}

void say_puts(const char *text) {
    if (keep_printf("%s", text))
        return;
    if (!hold_printf(stream::out, "%s\n", text))
        puts(text);
}

void say_warn(const char *fmt, ...) {
    const int error = errno;
    va_list ap;
    va_start(ap, fmt);
    const char *const reason[] = {": ", strerror(error)};
    if (!keep_message(fmt, ap, reason) && !hold_warning(fmt, ap, error, true)) {
        errno = error;
        vwarn(fmt, ap);
    }
    va_end(ap);
    errno = error;
}

void say_warnx(const char *fmt, ...) {
    const int error = errno;
    va_list ap;
    va_start(ap, fmt);
    if (!keep_message(fmt, ap, {}) && !hold_warning(fmt, ap, error, false))
        vwarnx(fmt, ap);
    va_end(ap);
    errno = error;
}

void messages_keep() {
    kept().keeping = true;
}

const char *kept_messages() {
    const kept_log &k = kept();
    return k.text == nullptr ? "" : k.text;
}

void messages_drop() {
    kept_log &k = kept();
    free(k.text);
    k = kept_log{};
}

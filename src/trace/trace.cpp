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

bool opt_verbose = false;

namespace {

// Where a record of the log is bound: one of the two standard streams, or the status line of
// the monitoring-plugin form, which the run writes itself once it knows its outcome.
enum class stream : unsigned char { out, err, status };

// What stands before a record's text in the log: its stream and the length of its text.
struct record_header {
    stream to;
    size_t length;
};

// Adds MORE to TOTAL; false when the sum does not fit.
bool add_length(size_t &total, size_t more) {
    if (more > SIZE_MAX - total)
        return false;
    total += more;
    return true;
}

// The output log: one malloc'ed block of records, each a header and its text, in the order
// said. Held records (for out and err) are there only while output is held; kept ones (for
// the status line) until they are dropped. The block is freed whenever the log is empty.
class output_log {
  public:
    bool holding = false; // records for out and err are held, not written
    bool keeping = false; // messages are kept for the status line

    // Appends one record for TO: the texts BEFORE, what FMT makes of AP as vprintf would
    // write it, and the texts AFTER; whole, or, when memory cannot be had, not at all (false).
    // AP itself is left unused for the caller.
    bool append(stream to, std::span<const char *const> before, const char *fmt, va_list ap,
                std::span<const char *const> after) {
        va_list measure;
        va_copy(measure, ap);
        const int n = vsnprintf(nullptr, 0, fmt, measure);
        va_end(measure);
        // A format that printf cannot write either adds nothing of its own.
        const size_t formatted = n < 0 ? 0 : static_cast<size_t>(n);
        size_t length = formatted;
        for (auto texts : {before, after})
            for (const char *text : texts)
                if (!add_length(length, strlen(text)))
                    return false;
        // The header, the text, and vsnprintf's terminator.
        size_t more = length;
        if (!add_length(more, sizeof(record_header) + 1) || !make_room(more))
            return false;
        char *at = data_ + used_ + sizeof(record_header);
        for (const char *text : before)
            at = put(at, text);
        if (n >= 0) {
            va_list copy;
            va_copy(copy, ap);
            vsnprintf(at, formatted + 1, fmt, copy);
            va_end(copy);
            at += formatted;
        }
        for (const char *text : after)
            at = put(at, text);
        const record_header h{to, length};
        memcpy(data_ + used_, &h, sizeof h);
        used_ += sizeof h + length;
        return true;
    }

    // Hands every held record to its stream, in order, and ends the hold. Kept records stay.
    void release() {
        take([](stream to) { return to != stream::status; },
             [](stream to, const char *text, size_t length) {
                 fwrite(text, 1, length, to == stream::out ? stdout : stderr);
             });
        holding = false;
    }

    // Lets every kept message go and ends the keeping.
    void drop_kept() {
        take([](stream to) { return to == stream::status; }, [](stream, const char *, size_t) {});
        keeping = false;
    }

    // Where the first record for TO at or after AT starts; the log's end when there is none.
    size_t next(size_t at, stream to) const {
        while (at < used_ && header_at(at).to != to)
            at += sizeof(record_header) + header_at(at).length;
        return at;
    }
    size_t after(size_t at) const {
        return at + sizeof(record_header) + header_at(at).length;
    }
    size_t end() const {
        return used_;
    }
    std::span<const char> text_at(size_t at) const {
        return {data_ + at + sizeof(record_header), header_at(at).length};
    }

  private:
    char *data_ = nullptr;
    size_t used_ = 0;
    size_t room_ = 0;

    record_header header_at(size_t at) const {
        record_header h;
        memcpy(&h, data_ + at, sizeof h);
        return h;
    }

    static char *put(char *at, const char *text) {
        const size_t len = strlen(text);
        memcpy(at, text, len);
        return at + len;
    }

    // Makes room for MORE bytes after the used ones, doubling the block as often as needed;
    // false, the block as it was, when memory cannot be had.
    bool make_room(size_t more) {
        if (room_ - used_ >= more)
            return true;
        size_t want = room_ == 0 ? 8192 : room_; // a whole -v run of the readers fits at once
        while (want - used_ < more) {
            if (want > SIZE_MAX / 2)
                return false;
            want *= 2;
        }
        char *grown = static_cast<char *>(realloc(data_, want));
        if (grown == nullptr)
            return false;
        data_ = grown;
        room_ = want;
        return true;
    }

    // Takes the records that TAKEN(stream) selects out of the log, in order, handing each to
    // USE(stream, text, length); the others stay, in their order. An empty log gives its
    // block back.
    template <typename Taken, typename Use> void take(Taken taken, Use use) {
        size_t kept = 0;
        for (size_t at = 0; at < used_;) {
            const record_header h = header_at(at);
            const size_t size = sizeof h + h.length;
            if (taken(h.to)) {
                use(h.to, data_ + at + sizeof h, h.length);
            } else {
                if (kept != at)
                    memmove(data_ + kept, data_ + at, size);
                kept += size;
            }
            at += size;
        }
        used_ = kept;
        if (used_ == 0) {
            free(data_);
            data_ = nullptr;
            room_ = 0;
        }
    }
};

// The one output log of the process, like the stdio streams it stands in front of.
constinit output_log the_output_log;

// Holds a record for TO while output is held. False when it is not, or when memory ran out:
// that ends the hold, with what it held written out, and the caller then writes the record
// directly, after everything said before it.
bool hold(stream to, std::span<const char *const> before, const char *fmt, va_list ap,
          std::span<const char *const> after) {
    output_log &log = the_output_log;
    if (!log.holding)
        return false;
    if (log.append(to, before, fmt, ap, after))
        return true;
    log.release();
    return false;
}

bool hold_printf(stream to, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
bool hold_printf(stream to, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const bool held = hold(to, {}, fmt, ap, {});
    va_end(ap);
    return held;
}

// Keeps a message for the status line: what FMT makes of AP, then the texts AFTER. False
// when messages are not kept or memory ran out.
bool keep(const char *fmt, va_list ap, std::span<const char *const> after) {
    output_log &log = the_output_log;
    return log.keeping && log.append(stream::status, {}, fmt, ap, after);
}

bool keep_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
bool keep_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const bool kept = keep(fmt, ap, {});
    va_end(ap);
    return kept;
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
    const char *const name[] = {program_name(), ": "};
    if (!reason) {
        const char *const line_feed[] = {"\n"};
        return hold(stream::err, name, fmt, ap, line_feed);
    }
    const char *const why[] = {": ", strerror(error), "\n"};
    return hold(stream::err, name, fmt, ap, why);
}

} // namespace

void debug_print(const char *fmt, ...) {
    if (!opt_verbose)
        return;
    va_list ap;
    va_start(ap, fmt);
    const char *const prefix[] = {"==> "};
    if (!hold(stream::out, prefix, fmt, ap, {})) {
        fputs("==> ", stdout);
        vprintf(fmt, ap);
    }
    va_end(ap);
}

void output_hold() {
    the_output_log.holding = true;
}

void output_release() {
    the_output_log.release();
}

void say_puts(const char *text) {
    if (!keep_printf("%s", text) && !hold_printf(stream::out, "%s\n", text))
        puts(text);
}

void say_warn(const char *fmt, ...) {
    const int error = errno;
    va_list ap;
    va_start(ap, fmt);
    const char *const reason[] = {": ", strerror(error)};
    if (!keep(fmt, ap, reason) && !hold_warning(fmt, ap, error, true)) {
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
    if (!keep(fmt, ap, {}) && !hold_warning(fmt, ap, error, false))
        vwarnx(fmt, ap);
    va_end(ap);
    errno = error;
}

void messages_keep() {
    the_output_log.keeping = true;
}

void messages_drop() {
    the_output_log.drop_kept();
}

std::span<const char> kept_message_list::iterator::operator*() const {
    return the_output_log.text_at(at_);
}

kept_message_list::iterator &kept_message_list::iterator::operator++() {
    at_ = the_output_log.next(the_output_log.after(at_), stream::status);
    return *this;
}

kept_message_list::iterator kept_message_list::begin() const {
    return iterator(the_output_log.next(0, stream::status));
}

kept_message_list::iterator kept_message_list::end() const {
    return iterator(the_output_log.end());
}

kept_message_list kept_messages() {
    return {};
}

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "output/numbers.h"

namespace {

// DEGREES as "%.3f" writes them, less the trailing zeros and point: "-10", "30.5".
struct degrees_text {
    char text[32];
    explicit degrees_text(double degrees) {
        int n = snprintf(text, sizeof text, "%.3f", degrees);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof text)
            return;
        while (n > 0 && text[n - 1] == '0')
            text[--n] = '\0';
        if (n > 0 && text[n - 1] == '.')
            text[--n] = '\0';
    }
};

} // namespace

int format_number(char *buf, size_t size, const quantity &q, int width) {
    switch (q.format) {
    case number_format::whole:
        return snprintf(buf, size, "%*llu", width, static_cast<unsigned long long>(q.whole));
    case number_format::three_decimals:
        break;
    case number_format::degrees:
        return snprintf(buf, size, "%*s", width, degrees_text(q.real).text);
    }
    return snprintf(buf, size, "%*.3f", width, q.real);
}

void print_number(FILE *out, const quantity &q, int width) {
    // Room for the longest number there is: a double's "%.3f" is at most 314 characters (a
    // sign, 309 digits, the point and three decimals), a 64-bit whole number 20; the forms'
    // widths are a few characters.
    char text[512];
    format_number(text, sizeof text, q, width);
    fputs(text, out);
}

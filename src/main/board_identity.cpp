// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/board_identity.h"
#include "main/options.h"
#include "platform/platform.h"
#include "trace/trace.h"

#include <stdlib.h>
#include <sysexits.h>

namespace {

// Reads one SMBIOS string. A value that fills the whole buffer is cut to its first 127
// characters, so every later use of it stays inside the buffer.
bool read_ident(board_string which, char *buf) {
    if (platform_board_string(which, buf, board_string_size) == -1)
        return false;
    buf[board_string_size - 1] = '\0';
    return true;
}

} // namespace

int identify_board(char *&maker, char *&product, const board *&row) {
    maker = static_cast<char *>(calloc(1, board_string_size));
    if (maker == nullptr) {
        say_warn("calloc() for maker failed");
        return EX_OSERR;
    }
    product = static_cast<char *>(calloc(1, board_string_size));
    if (product == nullptr) {
        say_warn("calloc() for product failed");
        return EX_OSERR;
    }
    if (!read_ident(board_string::maker, maker)) {
        say_warn("kenv() for %s failed", "smbios.planar.maker");
        return EX_OSERR;
    }
    if (!read_ident(board_string::product, product)) {
        say_warn("kenv() for %s failed", "smbios.planar.product");
        return EX_OSERR;
    }
    row = board_lookup(maker, product);
    if (row == nullptr) {
        say_puts("Your motherboard does not appear to be supported.  Please visit\n" HOME_PAGE
                 " to see if support for your motherboard\n"
                 "and/or system is under development.");
        return EX_DATAERR;
    }
    return 0;
}

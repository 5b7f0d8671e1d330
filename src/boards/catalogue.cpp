// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Chip names, the board lookup and the -l listing.
#include "boards/board_table.h"
#include "boards/boards.h"
#include "trace/trace.h"

#include <stdio.h>
#include <string.h>

const char *chip_name(chip_kind kind) {
    switch (kind) {
    case chip_kind::x6dva:
        return "X6DVA/X6DVL/X6DAL";
    case chip_kind::w83792d:
        return "Winbond W83792D";
    case chip_kind::w83793g:
        return "Winbond W83793G";
    }
    return "Unknown";
}

static void trace_list(const char *kind, label_list list) {
    debug_print("\t%s struct: %p\n", kind, static_cast<const void *>(list.data()));
    for (unsigned i = 0; i < list.size(); i++)
        debug_print("\t\tb->%s[%u] = %u, %s\n", kind, i, list[i].index, list[i].label);
}

const board *board_lookup(const char *maker, const char *product) {
    debug_print("board_lookup(maker = %p, product = %p)\n", static_cast<const void *>(maker),
                static_cast<const void *>(product));
    // The caller's buffers are terminated within their board_string_size bytes; the precision
    // keeps the trace inside them even if one were not.
    constexpr int most = board_string_size;
    debug_print("\tmaker   = %.*s\n", most, maker);
    debug_print("\tproduct = %.*s\n", most, product);

    for (const board &b : board_table) {
        if (strncmp(maker, b.maker, board_string_size) != 0)
            continue;
        if (strncmp(product, b.product, board_string_size) != 0)
            continue;
        debug_print("\tboards struct: %p\n", static_cast<const void *>(&b));
        debug_print("\t\tchip  = %s\n", chip_name(b.chip));
        debug_print("\t\tslave = 0x%02x\n", static_cast<unsigned>(b.slave));
        trace_list("voltages", b.voltages);
        trace_list("temps", b.temps);
        trace_list("fans", b.fans);
        debug_print("board_lookup() returning %p\n", static_cast<const void *>(&b));
        return &b;
    }
    debug_print("board_lookup() returning NULL\n");
    return nullptr;
}

void list_models(std::span<const board> boards) {
    static const char separator[] =
        "-------------  ---------------------  ------------------  -----------\n";

    debug_print("list_models(b = %p)\n", static_cast<const void *>(boards.data()));
    fputs("maker          product                chip type           slave addr\n", stdout);
    fputs(separator, stdout);
    for (const board &b : boards) {
        if (b.slave == SLAVE_CUSTOM)
            printf("%-13s  %-21s  %-18s  Custom\n", b.maker, b.product, chip_name(b.chip));
        else
            printf("%-13s  %-21s  %-18s  0x%02x\n", b.maker, b.product, chip_name(b.chip),
                   static_cast<unsigned>(b.slave));
    }
    fputs(separator, stdout);
    debug_print("list_models() returning\n");
}

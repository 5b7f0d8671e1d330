// Chip names, the board lookup and the -l listing.
#include "boards/boards.h"
#include "main/trace.h"

#include <stdio.h>
#include <string.h>

// The SMBIOS strings arrive in 128-byte buffers; no more of them takes part in a comparison.
static constexpr size_t ident_len = 128;

const char *chip_name(uint64_t type) {
    switch (type) {
    case CHIP_X6DVA:
        return "X6DVA/X6DVL/X6DAL";
    case CHIP_W83792D:
        return "Winbond W83792D";
    case CHIP_W83793G:
        return "Winbond W83793G";
    default:
        return "Unknown";
    }
}

static void trace_list(const char *kind, const sensor_label *list) {
    debug_print("\t%s struct: %p\n", kind, static_cast<const void *>(list));
    for (unsigned i = 0; list[i].label != nullptr; i++)
        debug_print("\t\tb->%s[%u] = %u, %s\n", kind, i, static_cast<unsigned>(list[i].index),
                    list[i].label);
}

const boards *board_lookup(const char *maker, const char *product) {
    debug_print("board_lookup(maker = %p, product = %p)\n", static_cast<const void *>(maker),
                static_cast<const void *>(product));
    // The caller's buffers are terminated within their 128 bytes; %.128s keeps the trace inside
    // them even if one were not.
    debug_print("\tmaker   = %.128s\n", maker);
    debug_print("\tproduct = %.128s\n", product);

    for (const boards *b = board_table; b->maker != nullptr; b++) {
        if (strncmp(maker, b->maker, ident_len) != 0)
            continue;
        if (strncmp(product, b->product, ident_len) != 0)
            continue;
        debug_print("\tboards struct: %p\n", static_cast<const void *>(b));
        debug_print("\t\tchip  = %s\n", chip_name(b->chip));
        debug_print("\t\tslave = 0x%02x\n", static_cast<unsigned>(b->slave));
        trace_list("voltages", b->voltages);
        trace_list("temps", b->temps);
        trace_list("fans", b->fans);
        debug_print("board_lookup() returning %p\n", static_cast<const void *>(b));
        return b;
    }
    debug_print("board_lookup() returning NULL\n");
    return nullptr;
}

int list_models(const boards *b) {
    static const char separator[] =
        "-------------  ---------------------  ------------------  -----------\n";

    debug_print("list_models(b = %p)\n", static_cast<const void *>(b));
    fputs("maker          product                chip type           slave addr\n", stdout);
    fputs(separator, stdout);
    for (; b->maker != nullptr; b++) {
        if (b->slave == SLAVE_CUSTOM)
            printf("%-13s  %-21s  %-18s  Custom\n", b->maker, b->product, chip_name(b->chip));
        else
            printf("%-13s  %-21s  %-18s  0x%02x\n", b->maker, b->product, chip_name(b->chip),
                   static_cast<unsigned>(b->slave));
    }
    fputs(separator, stdout);
    debug_print("list_models() returning\n");
    return stdout_status(0);
}

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

/* The yardstick of bench/run: a minimal C program that prints the same 20 lines as
 * `vantorel -l` with printf, built with the same compiler and the same hardening as the
 * program (a PIE against the shared C library, full RELRO, stack protector, _FORTIFY_SOURCE).
 * It is not part of vantorel. */
#include <stdio.h>

struct row {
    const char *maker;
    const char *product;
    const char *chip;
    int slave; /* -1: the chips sit at addresses of their own */
};

static const struct row rows[] = {
    {"Supermicro", "P8SC8", "Winbond W83792D", 0x2f},
    {"Supermicro", "P8SCT", "Winbond W83792D", 0x2f},
    {"Supermicro", "PDSMA+", "Winbond W83793G", 0x2f},
    {"Supermicro", "PDSMi+", "Winbond W83793G", 0x2f},
    {"Supermicro", "PDSMU", "Winbond W83793G", 0x2f},
    {"Supermicro", "X6DHR-8G2/X6DHR-TG", "Winbond W83792D", 0x2f},
    {"Supermicro", "X6DVA", "X6DVA/X6DVL/X6DAL", -1},
    {"Supermicro", "X7DB8", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7DBP", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7DBT", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7DCL", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7DVL", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7DVL-3", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7SB4/E", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7SBA", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7SBL", "Winbond W83793G", 0x2f},
    {"Supermicro", "X7SBi", "Winbond W83793G", 0x2f},
};

int main(void) {
    static const char separator[] =
        "-------------  ---------------------  ------------------  -----------\n";
    printf("maker          product                chip type           slave addr\n");
    printf("%s", separator);
    for (unsigned i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        const struct row *r = &rows[i];
        if (r->slave < 0)
            printf("%-13s  %-21s  %-18s  Custom\n", r->maker, r->product, r->chip);
        else
            printf("%-13s  %-21s  %-18s  0x%02x\n", r->maker, r->product, r->chip,
                   (unsigned)r->slave);
    }
    printf("%s", separator);
    return 0;
}

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// How the reports write a reading's numbers, in every form alike.
#pragma once

#include "boards/readings_walk.h"

#include <stddef.h>
#include <stdio.h>

// Writes Q as its format says (a whole number in decimal; "%.3f" as printf writes it: correctly
// rounded, a minus sign for a negative value, negative zero included; or degrees as "%.3f" with
// trailing zeros and a trailing point left out), right-aligned in at least WIDTH characters.
// format_number writes into BUF of SIZE as snprintf does and returns its result.
void print_number(FILE *out, const quantity &q, int width = 0);
int format_number(char *buf, size_t size, const quantity &q, int width = 0);

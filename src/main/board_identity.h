// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Which board the program runs on: its SMBIOS baseboard strings, as the platform reads them,
// and its row of the table.
#pragma once

#include "boards/boards.h"

// Reads the board's maker and product into two blocks of board_string_size, allocated into
// MAKER and PRODUCT (which the caller frees, whatever the result), and finds its row in the
// table, into ROW. Returns 0, or the status of the step that failed, after its message.
int identify_board(char *&maker, char *&product, const board *&row);

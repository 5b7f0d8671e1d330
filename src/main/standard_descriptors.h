// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The standard descriptors a run starts with.
#pragma once

// Makes sure descriptors 0, 1 and 2 are open, filling a closed one with /dev/null opened
// read-only, so that every file the program opens gets descriptor 3 or above. False when a
// closed one could not be filled.
bool open_standard_descriptors();

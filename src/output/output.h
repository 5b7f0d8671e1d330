// The three report forms. Each walks the board's temps, fans and voltages label lists in list
// order and prints the cell each entry names under the entry's label; none knows the chip.
#pragma once

#include "boards/boards.h"

void sensors_output(const boards *b, const sdata *s);       // aligned plain table
void sensors_output_delim(const boards *b, const sdata *s); // label,value,unit lines
void sensors_output_json(const boards *b, const sdata *s);  // one JSON object

// The board catalogue: what a run reads (sdata), how a supported board is recognised and
// which readings it shows under which names (boards, sensor_label).
#pragma once

#include <stdint.h>

// The readings of one run. A chip reader fills the cells its chip provides, at positions
// fixed per chip handling; a formatter prints the cells that the board's label lists name.
struct sdata {
    double voltages[15]; // volts
    uint64_t temps[6];   // whole degrees Celsius
    uint32_t fans[12];   // revolutions per minute
};

// One entry of a label list: which cell to print, and under which name. A list ends with
// an entry whose label is null.
struct sensor_label {
    uint64_t index;
    const char *label;
};

// Chip handlings.
enum : uint64_t {
    CHIP_X6DVA = 0,   // two chips at fixed addresses 0x2c and 0x2f
    CHIP_W83792D = 1, // Winbond W83792D
    CHIP_W83793G = 2, // Winbond W83793G
};

// The slave value of a row whose reader addresses fixed chips of its own.
constexpr int32_t SLAVE_CUSTOM = -1;

struct boards {
    const char *maker;   // SMBIOS baseboard manufacturer, exactly as the firmware reports it
    const char *product; // SMBIOS baseboard product name
    uint64_t chip;
    int32_t slave; // 7-bit SMBus address of the monitoring chip, or SLAVE_CUSTOM
    const sensor_label *voltages;
    const sensor_label *temps;
    const sensor_label *fans;
};

constexpr int board_count = 17;

// The supported boards, in listing order, ended by a row without maker.
extern const boards board_table[board_count + 1];

// Display name of a chip type; "Unknown" for anything but the three handlings.
const char *chip_name(uint64_t type);

// The first row of board_table whose maker and product equal the two strings (each compared
// over at most 128 characters), or nullptr.
const boards *board_lookup(const char *maker, const char *product);

// Prints the supported boards from b up to the terminating row and returns the exit status:
// 0, or EX_IOERR when the listing could not be written.
int list_models(const boards *b);

// The supported boards. Label lists are shared between rows: a row refers to a list, it does
// not own a copy. Entries print in list order, which is not always index order.
#include "boards/boards.h"

namespace {

// clang-format off

// --- voltages: index into sdata::voltages (15 cells) ---

constexpr sensor_label p8sc8_voltages[] = {
    {0, "Processor Vcore(V)"}, {11, "3.3V Vcc(V)"}, {12, "5V Vcc(V)"}, {13, "-12V Vcc(V)"},
    {14, "12V Vcc(V)"}, {7, "5VSB"}, {10, "VBAT"}, {0, nullptr}};

constexpr sensor_label pdsma_voltages[] = {
    {0, "Vcore"}, {1, "+1.5V"}, {3, "-12V"}, {4, "Vdimm"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "Vbat"}, {0, nullptr}};

constexpr sensor_label x6dhr_voltages[] = {
    {0, "VcoreA"}, {1, "VcoreB"}, {11, "P3V3"}, {12, "P5V"}, {13, "N12V"}, {14, "P12V"},
    {8, "VDD"}, {7, "P5Vsb"}, {0, nullptr}};

constexpr sensor_label x6dva_voltages[] = {
    {0, "CPU1 Vcore"}, {1, "CPU2 Vcore"}, {11, "+1.5V"}, {13, "+3.3V"}, {12, "+3.3VSB"},
    {14, "+5V"}, {6, "+12V"}, {3, "-12V"}, {0, nullptr}};

constexpr sensor_label x7db8_voltages[] = {
    {0, "VcoreA"}, {1, "VcoreB"}, {3, "-12V"}, {4, "P1V5"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "VBat"}, {0, nullptr}};

constexpr sensor_label x7dbt_voltages[] = {
    {0, "CPU1 Vcore"}, {1, "CPU2 Vcore"}, {5, "+3.3V"}, {9, "+5V"}, {3, "-12V"}, {4, "+1.5V"},
    {7, "5VSB"}, {10, "VBAT"}, {6, "+12V"}, {2, "P_VTT"}, {0, nullptr}};

constexpr sensor_label x7sb4_voltages[] = {
    {0, "VcoreA"}, {3, "-12V"}, {4, "V_DIMM"}, {5, "+3.3V"}, {6, "+12V"}, {7, "5Vsb"},
    {9, "5VDD"}, {10, "Vbat"}, {0, nullptr}};

constexpr sensor_label x7sba_voltages[] = {
    {0, "VcoreA"}, {1, "MCH Core"}, {3, "-12V"}, {4, "V_DIMM"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "Vbat"}, {0, nullptr}};

// --- temperatures: index into sdata::temps (6 cells) ---

constexpr sensor_label p8sc8_temps[] = {
    {0, "CPU Temperature"}, {1, "System Temperature"}, {0, nullptr}};

constexpr sensor_label pdsma_temps[] = {
    {0, "CPU Temperature"}, {4, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x6dhr_temps[] = {
    {0, "CPU1 Temperature"}, {1, "CPU2 Temperature"}, {2, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x6dva_temps[] = {
    {1, "CPU Temp 1"}, {2, "CPU Temp 2"}, {0, "Sys Temp"}, {0, nullptr}};

constexpr sensor_label x7db8_temps[] = {
    {0, "PECI Agent 1"}, {1, "PECI Agent 2"}, {4, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x7dbp_temps[] = {
    {0, "CPU1 Temperature"}, {1, "CPU1 Second Core"}, {2, "CPU2 Temperature"},
    {3, "CPU2 Second Core"}, {4, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x7dbt_temps[] = {
    {0, "CPU Temp 1"}, {1, "CPU Temp 2"}, {2, "CPU Temp 3"}, {3, "CPU Temp 4"},
    {4, "Sys Temp"}, {0, nullptr}};

constexpr sensor_label x7dcl_temps[] = {
    {0, "PECI Agent 1"}, {1, "PECI Agent 2"}, {2, "PECI Agent 3"}, {3, "PECI Agent 4"},
    {4, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x7sb4_temps[] = {
    {0, "CPU Temperature"}, {5, "System Temperature"}, {0, nullptr}};

constexpr sensor_label x7sba_temps[] = {
    {0, "CPU1 Temperature"}, {5, "System Temperature"}, {0, nullptr}};

// --- fans: index into sdata::fans (12 cells) ---

constexpr sensor_label p8sc8_fans[] = {
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {0, nullptr}};

constexpr sensor_label pdsma_fans[] = {
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {6, "FAN6"}, {0, nullptr}};

constexpr sensor_label pdsmu_fans[] = {
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"}, {0, nullptr}};

constexpr sensor_label x7db8_fans[] = {
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"},
    {6, "FAN7"}, {7, "FAN8"}, {0, nullptr}};

constexpr sensor_label x7dbp_fans[] = {
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"},
    {6, "FAN7"}, {7, "FAN8"}, {8, "FAN9"}, {9, "FAN10"}, {0, nullptr}};

constexpr sensor_label x7dcl_fans[] = {
    {1, "FAN1"}, {0, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {6, "FAN6"}, {0, nullptr}};

constexpr sensor_label x7sba_fans[] = {
    {6, "FAN1"}, {4, "FAN2"}, {0, "FAN3"}, {1, "FAN4"}, {2, "FAN5"}, {3, "FAN6"}, {0, nullptr}};

} // namespace

constexpr boards board_table[board_count + 1] = {
    {"Supermicro", "P8SC8",              CHIP_W83792D, 0x2f,         p8sc8_voltages, p8sc8_temps, p8sc8_fans},
    {"Supermicro", "P8SCT",              CHIP_W83792D, 0x2f,         p8sc8_voltages, p8sc8_temps, p8sc8_fans},
    {"Supermicro", "PDSMA+",             CHIP_W83793G, 0x2f,         pdsma_voltages, pdsma_temps, pdsma_fans},
    {"Supermicro", "PDSMi+",             CHIP_W83793G, 0x2f,         pdsma_voltages, pdsma_temps, pdsma_fans},
    {"Supermicro", "PDSMU",              CHIP_W83793G, 0x2f,         pdsma_voltages, pdsma_temps, pdsmu_fans},
    {"Supermicro", "X6DHR-8G2/X6DHR-TG", CHIP_W83792D, 0x2f,         x6dhr_voltages, x6dhr_temps, p8sc8_fans},
    {"Supermicro", "X6DVA",              CHIP_X6DVA,   SLAVE_CUSTOM, x6dva_voltages, x6dva_temps, pdsmu_fans},
    {"Supermicro", "X7DB8",              CHIP_W83793G, 0x2f,         x7db8_voltages, x7db8_temps, x7db8_fans},
    {"Supermicro", "X7DBP",              CHIP_W83793G, 0x2f,         x7db8_voltages, x7dbp_temps, x7dbp_fans},
    {"Supermicro", "X7DBT",              CHIP_W83793G, 0x2f,         x7dbt_voltages, x7dbt_temps, x7db8_fans},
    {"Supermicro", "X7DCL",              CHIP_W83793G, 0x2f,         pdsma_voltages, x7dcl_temps, x7dcl_fans},
    {"Supermicro", "X7DVL",              CHIP_W83793G, 0x2f,         pdsma_voltages, x7dcl_temps, x7dcl_fans},
    {"Supermicro", "X7DVL-3",            CHIP_W83793G, 0x2f,         pdsma_voltages, x7dcl_temps, x7dcl_fans},
    {"Supermicro", "X7SB4/E",            CHIP_W83793G, 0x2f,         x7sb4_voltages, x7sb4_temps, x7dcl_fans},
    {"Supermicro", "X7SBA",              CHIP_W83793G, 0x2f,         x7sba_voltages, x7sba_temps, x7sba_fans},
    {"Supermicro", "X7SBL",              CHIP_W83793G, 0x2f,         x7sba_voltages, x7sba_temps, x7sba_fans},
    {"Supermicro", "X7SBi",              CHIP_W83793G, 0x2f,         x7sba_voltages, x7sba_temps, x7sba_fans},
    {nullptr,      nullptr,              0,            0,            nullptr,        nullptr,     nullptr},
};

// clang-format on

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// The supported boards. Label lists are shared between rows: a row refers to a list, it does
// not own a copy. Entries print in list order, which is not always index order.
#pragma once

#include "boards/boards.h"

#include <array>

namespace labels {

// clang-format off
// --- voltages: index into readings::voltages (15 cells) ---

inline constexpr auto p8sc8_voltages = std::to_array<sensor_label>({
    {0, "Processor Vcore(V)"}, {11, "3.3V Vcc(V)"}, {12, "5V Vcc(V)"}, {13, "-12V Vcc(V)"},
    {14, "12V Vcc(V)"}, {7, "5VSB"}, {10, "VBAT"}});

inline constexpr auto pdsma_voltages = std::to_array<sensor_label>({
    {0, "Vcore"}, {1, "+1.5V"}, {3, "-12V"}, {4, "Vdimm"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "Vbat"}});

inline constexpr auto x6dhr_voltages = std::to_array<sensor_label>({
    {0, "VcoreA"}, {1, "VcoreB"}, {11, "P3V3"}, {12, "P5V"}, {13, "N12V"}, {14, "P12V"},
    {8, "VDD"}, {7, "P5Vsb"}});

inline constexpr auto x6dva_voltages = std::to_array<sensor_label>({
    {0, "CPU1 Vcore"}, {1, "CPU2 Vcore"}, {11, "+1.5V"}, {13, "+3.3V"}, {12, "+3.3VSB"},
    {14, "+5V"}, {6, "+12V"}, {3, "-12V"}});

inline constexpr auto x7db8_voltages = std::to_array<sensor_label>({
    {0, "VcoreA"}, {1, "VcoreB"}, {3, "-12V"}, {4, "P1V5"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "VBat"}});

inline constexpr auto x7dbt_voltages = std::to_array<sensor_label>({
    {0, "CPU1 Vcore"}, {1, "CPU2 Vcore"}, {5, "+3.3V"}, {9, "+5V"}, {3, "-12V"}, {4, "+1.5V"},
    {7, "5VSB"}, {10, "VBAT"}, {6, "+12V"}, {2, "P_VTT"}});

inline constexpr auto x7sb4_voltages = std::to_array<sensor_label>({
    {0, "VcoreA"}, {3, "-12V"}, {4, "V_DIMM"}, {5, "+3.3V"}, {6, "+12V"}, {7, "5Vsb"},
    {9, "5VDD"}, {10, "Vbat"}});

inline constexpr auto x7sba_voltages = std::to_array<sensor_label>({
    {0, "VcoreA"}, {1, "MCH Core"}, {3, "-12V"}, {4, "V_DIMM"}, {5, "+3.3V"}, {6, "+12V"},
    {7, "5Vsb"}, {9, "5VDD"}, {2, "P_VTT"}, {10, "Vbat"}});

// --- temperatures: index into readings::temps (6 cells) ---

inline constexpr auto p8sc8_temps = std::to_array<sensor_label>({
    {0, "CPU Temperature"}, {1, "System Temperature"}});

inline constexpr auto pdsma_temps = std::to_array<sensor_label>({
    {0, "CPU Temperature"}, {4, "System Temperature"}});

inline constexpr auto x6dhr_temps = std::to_array<sensor_label>({
    {0, "CPU1 Temperature"}, {1, "CPU2 Temperature"}, {2, "System Temperature"}});

inline constexpr auto x6dva_temps = std::to_array<sensor_label>({
    {1, "CPU Temp 1"}, {2, "CPU Temp 2"}, {0, "Sys Temp"}});

inline constexpr auto x7db8_temps = std::to_array<sensor_label>({
    {0, "PECI Agent 1"}, {1, "PECI Agent 2"}, {4, "System Temperature"}});

inline constexpr auto x7dbp_temps = std::to_array<sensor_label>({
    {0, "CPU1 Temperature"}, {1, "CPU1 Second Core"}, {2, "CPU2 Temperature"},
    {3, "CPU2 Second Core"}, {4, "System Temperature"}});

inline constexpr auto x7dbt_temps = std::to_array<sensor_label>({
    {0, "CPU Temp 1"}, {1, "CPU Temp 2"}, {2, "CPU Temp 3"}, {3, "CPU Temp 4"},
    {4, "Sys Temp"}});

inline constexpr auto x7dcl_temps = std::to_array<sensor_label>({
    {0, "PECI Agent 1"}, {1, "PECI Agent 2"}, {2, "PECI Agent 3"}, {3, "PECI Agent 4"},
    {4, "System Temperature"}});

inline constexpr auto x7sb4_temps = std::to_array<sensor_label>({
    {0, "CPU Temperature"}, {5, "System Temperature"}});

inline constexpr auto x7sba_temps = std::to_array<sensor_label>({
    {0, "CPU1 Temperature"}, {5, "System Temperature"}});

// --- fans: index into readings::fans (12 cells) ---

inline constexpr auto p8sc8_fans = std::to_array<sensor_label>({
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}});

inline constexpr auto pdsma_fans = std::to_array<sensor_label>({
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {6, "FAN6"}});

inline constexpr auto pdsmu_fans = std::to_array<sensor_label>({
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"}});

inline constexpr auto x7db8_fans = std::to_array<sensor_label>({
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"},
    {6, "FAN7"}, {7, "FAN8"}});

inline constexpr auto x7dbp_fans = std::to_array<sensor_label>({
    {0, "FAN1"}, {1, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {5, "FAN6"},
    {6, "FAN7"}, {7, "FAN8"}, {8, "FAN9"}, {9, "FAN10"}});

inline constexpr auto x7dcl_fans = std::to_array<sensor_label>({
    {1, "FAN1"}, {0, "FAN2"}, {2, "FAN3"}, {3, "FAN4"}, {4, "FAN5"}, {6, "FAN6"}});

inline constexpr auto x7sba_fans = std::to_array<sensor_label>({
    {6, "FAN1"}, {4, "FAN2"}, {0, "FAN3"}, {1, "FAN4"}, {2, "FAN5"}, {3, "FAN6"}});

// clang-format on

} // namespace labels

// The supported boards, in listing order.
// clang-format off
inline constexpr auto board_table = std::to_array<board>({
    {"Supermicro", "P8SC8",              chip_kind::w83792d, 0x2f,         labels::p8sc8_voltages, labels::p8sc8_temps, labels::p8sc8_fans},
    {"Supermicro", "P8SCT",              chip_kind::w83792d, 0x2f,         labels::p8sc8_voltages, labels::p8sc8_temps, labels::p8sc8_fans},
    {"Supermicro", "PDSMA+",             chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::pdsma_temps, labels::pdsma_fans},
    {"Supermicro", "PDSMi+",             chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::pdsma_temps, labels::pdsma_fans},
    {"Supermicro", "PDSMU",              chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::pdsma_temps, labels::pdsmu_fans},
    {"Supermicro", "X6DHR-8G2/X6DHR-TG", chip_kind::w83792d, 0x2f,         labels::x6dhr_voltages, labels::x6dhr_temps, labels::p8sc8_fans},
    {"Supermicro", "X6DVA",              chip_kind::x6dva,   SLAVE_CUSTOM, labels::x6dva_voltages, labels::x6dva_temps, labels::pdsmu_fans},
    {"Supermicro", "X7DB8",              chip_kind::w83793g, 0x2f,         labels::x7db8_voltages, labels::x7db8_temps, labels::x7db8_fans},
    {"Supermicro", "X7DBP",              chip_kind::w83793g, 0x2f,         labels::x7db8_voltages, labels::x7dbp_temps, labels::x7dbp_fans},
    {"Supermicro", "X7DBT",              chip_kind::w83793g, 0x2f,         labels::x7dbt_voltages, labels::x7dbt_temps, labels::x7db8_fans},
    {"Supermicro", "X7DCL",              chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::x7dcl_temps, labels::x7dcl_fans},
    {"Supermicro", "X7DVL",              chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::x7dcl_temps, labels::x7dcl_fans},
    {"Supermicro", "X7DVL-3",            chip_kind::w83793g, 0x2f,         labels::pdsma_voltages, labels::x7dcl_temps, labels::x7dcl_fans},
    {"Supermicro", "X7SB4/E",            chip_kind::w83793g, 0x2f,         labels::x7sb4_voltages, labels::x7sb4_temps, labels::x7dcl_fans},
    {"Supermicro", "X7SBA",              chip_kind::w83793g, 0x2f,         labels::x7sba_voltages, labels::x7sba_temps, labels::x7sba_fans},
    {"Supermicro", "X7SBL",              chip_kind::w83793g, 0x2f,         labels::x7sba_voltages, labels::x7sba_temps, labels::x7sba_fans},
    {"Supermicro", "X7SBi",              chip_kind::w83793g, 0x2f,         labels::x7sba_voltages, labels::x7sba_temps, labels::x7sba_fans},
});
// clang-format on

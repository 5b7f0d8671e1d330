// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Captures what a piece of in-process code writes to standard output or standard error.
#pragma once

#include <functional>
#include <string>

std::string capture_stdout(const std::function<void()> &body);
std::string capture_stderr(const std::function<void()> &body);

// Runs body with the trace switched on (or off) and restores the flag afterwards.
std::string capture_traced(bool verbose, const std::function<void()> &body);

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/plugin_status.h"
#include "trace/trace.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <span>

namespace {

// The report of a -N run that could not judge, from the messages it kept: they are handed to
// the report as a list of their texts, which stay in the output log until messages_drop().
// Without the memory for the list the report has the fixed text of a run that said nothing.
void write_unknown() {
    const kept_message_list kept = kept_messages();
    size_t count = 0;
    for ([[maybe_unused]] std::span<const char> message : kept)
        count++;
    auto *list =
        static_cast<std::span<const char> *>(calloc(count + 1, sizeof(std::span<const char>)));
    size_t filled = 0;
    if (list != nullptr)
        for (std::span<const char> message : kept)
            list[filled++] = message;
    write_plugin_unknown({list, filled}, stdout);
    free(list);
}

} // namespace

int plugin_status(const options &opts, int status, std::optional<plugin_state> verdict) {
    if (status == 0) {
        messages_drop();
        if (stdout_status(0) != 0)
            return static_cast<int>(plugin_state::unknown);
        return verdict ? static_cast<int>(*verdict) : 0;
    }
    if (ferror(stdout)) {
        messages_drop();
        return static_cast<int>(plugin_state::unknown);
    }
    write_unknown();
    messages_drop();
    if (opts.usage_follows)
        usage();
    stdout_status(0);
    return static_cast<int>(plugin_state::unknown);
}

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "main/root_drop.h"
#include "platform/platform.h"
#include "trace/trace.h"

bool holds_borrowed_root() {
    return platform_geteuid() == 0 && platform_getuid() != 0;
}

bool give_up_root(say_why say) {
    const privilege_drop drop = platform_drop_privileges();
    if (say == say_why::yes) {
        switch (drop) {
        case privilege_drop::done:
            break;
        case privilege_drop::group_failed:
            say_warn("dropping group privileges failed");
            break;
        case privilege_drop::user_failed:
            say_warn("dropping user privileges failed");
            break;
        case privilege_drop::not_for_good:
            say_warnx("root privileges could be regained after dropping them");
            break;
        }
    }
    if (drop != privilege_drop::done)
        return false;
    debug_print("privileges dropped: uid %u, euid %u\n", static_cast<unsigned>(platform_getuid()),
                static_cast<unsigned>(platform_geteuid()));
    return true;
}

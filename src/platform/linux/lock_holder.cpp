// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

#include "platform/linux/lock_holder.h"
#include "platform/linux/sysfs.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sysmacros.h>

namespace {

// The holder's process id on one line of the list when the line is a held flock(2) lock of
// the file DEV:INO, else 0.
pid_t holder_on_line(char *line, dev_t dev, ino_t ino) {
    // Fields: "N:", the lock's kind, its mode, its access, the pid, "MAJ:MIN:INODE", ...
    char *fields[6];
    int n = 0;
    char *rest = nullptr;
    for (char *f = strtok_r(line, " \t\n", &rest); f != nullptr && n < 6;
         f = strtok_r(nullptr, " \t\n", &rest))
        fields[n++] = f;
    if (n < 6 || strcmp(fields[1], "FLOCK") != 0) // "->" for a waiter, or another kind
        return 0;
    char *end;
    unsigned long maj = strtoul(fields[5], &end, 16);
    if (*end != ':')
        return 0;
    unsigned long min = strtoul(end + 1, &end, 16);
    if (*end != ':')
        return 0;
    unsigned long long inode = strtoull(end + 1, &end, 10);
    if (*end != '\0' || maj != major(dev) || min != minor(dev) || inode != ino)
        return 0;
    long pid = strtol(fields[4], &end, 10);
    return *end == '\0' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

} // namespace

lock_holder find_flock_holder(const char *proc, dev_t dev, ino_t ino) {
    lock_holder holder;
    char path[256];
    if (!fits(snprintf(path, sizeof path, "%s/locks", proc), sizeof path))
        return holder;
    FILE *list = fopen(path, "re");
    if (list == nullptr)
        return holder;
    // A line is some 60 characters; one that does not fit is cut, and its rest read as a line
    // of its own, which has too few fields or no matching ones.
    char line[256];
    while (holder.pid == 0 && fgets(line, sizeof line, list) != nullptr)
        holder.pid = holder_on_line(line, dev, ino);
    fclose(list);
    if (holder.pid != 0 &&
        fits(snprintf(path, sizeof path, "%s/%ld/comm", proc, static_cast<long>(holder.pid)),
             sizeof path) &&
        read_attribute(path, holder.command) != 0)
        holder.command[0] = '\0';
    // A process names itself (prctl(2), or the name of the file it runs): whatever is not
    // printable ASCII in it, a terminal's escape sequence or a line break among them, reaches
    // no terminal and no status line.
    for (char *c = holder.command; *c != '\0'; c++) {
        if (*c < 0x20 || *c > 0x7e)
            *c = '?';
    }
    return holder;
}

// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the fuzz targets share: a directory of the fuzzing process's own, where a target lays
// out the tree one input describes, and the check that a call leaves no descriptor open.
#pragma once

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

// The lowest free descriptor: unchanged by a call that closes what it opened.
inline int lowest_free_fd() {
    int fd = dup(STDIN_FILENO);
    close(fd);
    return fd;
}

// A fresh, empty directory for this input, NAME under the process's scratch directory
// (made at the first call, in memory where /dev/shm is there, removed when the process
// exits).
inline std::filesystem::path fresh_tree(const char *name) {
    // Plain characters, which no destructor takes away before the exit handler runs.
    static char root[] = "/dev/shm/vantorel-fuzz-XXXXXX";
    static bool made = false;
    if (!made) {
        if (mkdtemp(root) == nullptr) {
            strcpy(root, "/tmp/vantorel-fuzz-XXXXXX");
            if (mkdtemp(root) == nullptr)
                __builtin_trap();
        }
        made = true;
        atexit([] { std::filesystem::remove_all(root); });
    }
    const std::filesystem::path tree = std::filesystem::path(root) / name;
    std::filesystem::remove_all(tree);
    std::filesystem::create_directories(tree);
    return tree;
}

// A file holding exactly CONTENT.
inline void write_file(const std::filesystem::path &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

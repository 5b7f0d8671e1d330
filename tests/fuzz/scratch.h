// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// What the fuzz targets share: a directory of the fuzzing process's own, where a target lays
// out the tree one input describes, and the check that a call leaves no descriptor open.
#pragma once

#include <stdlib.h>
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
    static const std::filesystem::path root = [] {
        char shm[] = "/dev/shm/vantorel-fuzz-XXXXXX", tmp[] = "/tmp/vantorel-fuzz-XXXXXX";
        const char *tmpl = mkdtemp(shm) != nullptr ? shm : mkdtemp(tmp);
        if (tmpl == nullptr)
            __builtin_trap();
        atexit([] { std::filesystem::remove_all(root); });
        return std::filesystem::path(tmpl);
    }();
    std::filesystem::path tree = root / name;
    std::filesystem::remove_all(tree);
    std::filesystem::create_directories(tree);
    return tree;
}

// A file holding exactly CONTENT.
inline void write_file(const std::filesystem::path &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

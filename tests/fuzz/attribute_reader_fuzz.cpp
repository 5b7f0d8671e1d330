// SPDX-FileCopyrightText: 2026 The vantorel developers
// SPDX-License-Identifier: BSD-2-Clause

// Fuzz target: the reader of the kernel's one-line sysfs attributes (Linux), over arbitrary
// file content.
//
// Input: the size of the caller's buffer (0 to 80 bytes), then the file's content.
//
// Checked: a buffer without room for the terminator is refused (EINVAL) before anything is
// read into it; otherwise the read succeeds and the buffer holds the content up to its first
// newline, cut to the buffer's size less one, terminated (a NUL byte in the content ends the
// string there), and nothing is written past the buffer (AddressSanitizer). Nothing is left
// open.
#include "platform/linux/sysfs.h"
#include "scratch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <stdio.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const size_t room = in.ConsumeIntegralInRange<size_t>(0, 80);
    const std::string content = in.ConsumeRemainingBytesAsString();
    static const std::string path = (fresh_tree("attribute") / "value").string();
    write_file(path, content);

    // Exactly ROOM bytes on the heap, so that a byte past them is AddressSanitizer's.
    std::vector<char> buf(room);
    const int free_fd = lowest_free_fd();
    const int e = read_attribute(path.c_str(), buf);
    if (lowest_free_fd() != free_fd)
        __builtin_trap();
    if (room == 0) {
        if (e != EINVAL)
            __builtin_trap();
        return 0;
    }
    if (e != 0)
        __builtin_trap();

    std::string want = content.substr(0, room - 1);
    want = want.substr(0, want.find_first_of(std::string("\n\0", 2)));
    if (strlen(buf.data()) != want.size() || memcmp(buf.data(), want.data(), want.size()) != 0)
        __builtin_trap();
    return 0;
}

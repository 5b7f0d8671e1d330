# SPDX-FileCopyrightText: 2026 The vantorel developers
# SPDX-License-Identifier: BSD-2-Clause

# Cross-compiles for FreeBSD 14 on amd64 with clang and lld, against the FreeBSD headers (and,
# where it has them, the libraries) in VANTOREL_FREEBSD_SYSROOT. A sysroot without libc++'s
# headers takes those of the clang that compiles; the program uses only libc++'s header-only
# parts. Linking needs FreeBSD's start-up files and libc.so.7 in the sysroot, or a link line
# that names stand-ins for them.

set(CMAKE_SYSTEM_NAME FreeBSD)
set(CMAKE_SYSTEM_VERSION 14.2)
set(CMAKE_SYSTEM_PROCESSOR amd64)
# Programs are the build machine's; headers and libraries are the sysroot's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

get_filename_component(vantorel_default_sysroot
                       "${CMAKE_CURRENT_LIST_DIR}/../../shared/freebsd-14/sysroot" ABSOLUTE)
set(VANTOREL_FREEBSD_SYSROOT "${vantorel_default_sysroot}"
    CACHE PATH "FreeBSD 14 amd64 sysroot: usr/include, and usr/lib where a link needs it")
# The compiler checks run in projects of their own, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOREL_FREEBSD_SYSROOT)
if(NOT IS_DIRECTORY "${VANTOREL_FREEBSD_SYSROOT}/usr/include")
  message(FATAL_ERROR "no FreeBSD headers in ${VANTOREL_FREEBSD_SYSROOT}/usr/include "
                      "(set VANTOREL_FREEBSD_SYSROOT)")
endif()
set(CMAKE_SYSROOT "${VANTOREL_FREEBSD_SYSROOT}")

if(NOT CMAKE_CXX_COMPILER)
  find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
endif()
set(CMAKE_CXX_COMPILER_TARGET x86_64-unknown-freebsd14.2)
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -fuse-ld=lld)
# Without FreeBSD's start-up files (crt1.o and the rest, in usr/lib) nothing links, so the
# compiler checks only compile, and what the link check of check_pie_supported would find is
# given: lld links FreeBSD executables as PIEs (-pie) and as fixed-address ones (-no-pie).
if(NOT EXISTS "${VANTOREL_FREEBSD_SYSROOT}/usr/lib/crt1.o")
  set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
  set(CMAKE_CXX_LINK_PIE_SUPPORTED TRUE CACHE INTERNAL "PIE (CXX)")
  set(CMAKE_CXX_LINK_NO_PIE_SUPPORTED TRUE CACHE INTERNAL "NO_PIE (CXX)")
endif()

# libc++'s headers: the sysroot's own, else those installed beside the compiler
# (<prefix>/bin/clang++ and <prefix>/include/c++/v1, as Debian's llvm-N packages lay them out).
if(NOT IS_DIRECTORY "${VANTOREL_FREEBSD_SYSROOT}/usr/include/c++/v1")
  find_program(vantorel_cxx NAMES "${CMAKE_CXX_COMPILER}" NO_CACHE REQUIRED)
  file(REAL_PATH "${vantorel_cxx}" vantorel_cxx)
  get_filename_component(vantorel_llvm_prefix "${vantorel_cxx}" DIRECTORY)
  get_filename_component(vantorel_llvm_prefix "${vantorel_llvm_prefix}" DIRECTORY)
  if(NOT IS_DIRECTORY "${vantorel_llvm_prefix}/include/c++/v1")
    message(FATAL_ERROR "no libc++ headers in ${VANTOREL_FREEBSD_SYSROOT}/usr/include/c++/v1 "
                        "nor in ${vantorel_llvm_prefix}/include/c++/v1")
  endif()
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES "${vantorel_llvm_prefix}/include/c++/v1")
endif()

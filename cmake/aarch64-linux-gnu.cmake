# Cross build for 64-bit ARM Linux with Debian's crossbuild-essential-arm64, against the arm64
# multiarch packages (libsdl2-dev:arm64 and the rest) installed beside the native ones.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(TRACKER_ARM64_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${TRACKER_ARM64_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${TRACKER_ARM64_TRIPLET}-g++)
# Libraries and package configurations from /usr/lib/aarch64-linux-gnu only, never the native ones.
set(CMAKE_LIBRARY_ARCHITECTURE ${TRACKER_ARM64_TRIPLET})
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)

# Tests and tools run under qemu-user with the arm64 loader and libraries of the multiarch
# packages (libc6:arm64), as on a real arm64 system. Not with `-L /usr/aarch64-linux-gnu`: that
# loader is the cross toolchain's glibc, which may be another release than the multiarch libc it
# would load, and then fork() never returns in the child.
find_program(TRACKER_QEMU_AARCH64 qemu-aarch64 DOC "qemu-user's arm64 emulator, which runs the tests")
if(NOT TRACKER_QEMU_AARCH64)
  message(WARNING "qemu-aarch64 not found (Debian package qemu-user): the arm64 build's tests cannot run")
elseif(NOT EXISTS /lib/ld-linux-aarch64.so.1)
  message(WARNING "no arm64 loader at /lib/ld-linux-aarch64.so.1 (Debian package libc6:arm64): the arm64 build's tests cannot run")
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TRACKER_QEMU_AARCH64})
endif()

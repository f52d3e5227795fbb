# Cross build for 64-bit ARM Linux with Debian's toolchain
# (g++-aarch64-linux-gnu) and the arm64 libraries of multiarch, run under
# user-mode qemu. `scripts/install-deps --cross aarch64` installs all of it;
# the `aarch64` preset uses this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Static, so that qemu needs no arm64 loader or library path; the test
# programs (gtest_discover_tests, ctest) run through the emulator.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(NUMERA_QEMU_AARCH64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NUMERA_QEMU_AARCH64})

# Multiarch keeps arm64 libraries in /usr/lib/aarch64-linux-gnu and shares
# /usr/include; programs are the build machine's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

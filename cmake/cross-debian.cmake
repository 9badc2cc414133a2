# What both ARM toolchain files share: Debian's <triplet>-gcc/g++, libraries and
# pkg-config files from the target's multiarch directory, and qemu-user to run what is
# built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${LUMO_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${LUMO_TARGET_TRIPLET}-g++)
set(CMAKE_ASM_COMPILER ${LUMO_TARGET_TRIPLET}-gcc)
# Libraries and CMake package files are searched in /usr/lib/<triplet>, never in the
# build machine's directory; headers are shared by all architectures in /usr/include.
set(CMAKE_LIBRARY_ARCHITECTURE ${LUMO_TARGET_TRIPLET})
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${LUMO_TARGET_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Plain qemu, without -L: the binaries' interpreter path already names the multiarch
# loader, which pairs with the multiarch libc.  (-L /usr/<triplet> would pair the cross
# package's ld.so with the multiarch libc, and fork() then hangs or crashes.)
find_program(LUMO_EMULATOR_PROGRAM ${LUMO_TARGET_EMULATOR} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${LUMO_EMULATOR_PROGRAM})

# Test programs are listed when the tests run, not as a build step, so that building
# never runs anything under the emulator.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

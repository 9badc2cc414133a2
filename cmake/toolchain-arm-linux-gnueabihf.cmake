# Cross build for 32-bit ARM Linux with hardware floating point (Raspberry Pi OS / Debian
# armhf: ARMv7 and later) with Debian's cross compiler and the :armhf multiarch
# libraries; target programs run under qemu-user.
set(LUMO_TARGET_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(LUMO_TARGET_EMULATOR qemu-arm)
set(LUMO_DEBIAN_ARCHITECTURE armhf)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
# GCC notes on every std::vector of doubles that their passing changed in GCC 7.1; lumo
# links nothing built by a compiler that old.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

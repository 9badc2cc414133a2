# Cross build for 64-bit ARM Linux (Raspberry Pi OS / Debian arm64) with Debian's cross
# compiler and the :arm64 multiarch libraries; target programs run under qemu-user.
set(LUMO_TARGET_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(LUMO_TARGET_EMULATOR qemu-aarch64)
set(LUMO_DEBIAN_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)

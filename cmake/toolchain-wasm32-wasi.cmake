# The show's code for WebAssembly (the `wasm` preset, and the module lumo-render --html puts
# in the page): Debian's clang 16 and lld with wasi-libc and libc++ for wasm32.  The module
# runs in a browser's Worker, or under Node.js for its tests; it has no threads.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_SYSROOT /usr)
# Debian keeps wasm32's libc++ headers beside wasi-libc's, where clang does not look.
set(CMAKE_CXX_FLAGS_INIT "-isystem /usr/include/wasm32-wasi/c++/v1 -fno-exceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Compiler checks link a program, which needs no runtime here.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# The WebAssembly build (cmake/toolchain-wasm32-wasi.cmake): the show's code without ALSA,
# threads or embedded bytes, as one module for the page, build/lumo-show.wasm.  The page
# hands it the models; the clips are made by lumo-clipgen's code (src/web/assets.cpp).
set(lumo_wasm_sources
  core/error.cpp core/fatal.cpp core/monotonic.cpp core/points.cpp core/random.cpp core/stderr_line.cpp
  draw/draw.cpp
  obj/obj.cpp
  wave/filter.cpp wave/note.cpp wave/oscillator.cpp wave/wav.cpp
  effects/blocks.cpp effects/box.cpp effects/gain.cpp effects/notes.cpp effects/objects.cpp
  show/playback.cpp show/prepare.cpp show/score.cpp show/view_ring.cpp
  app/render_mix.cpp
  web/assets.cpp web/module.cpp)
list(TRANSFORM lumo_wasm_sources PREPEND ${PROJECT_SOURCE_DIR}/src/)
set(lumo_clipgen_sources
  ${PROJECT_SOURCE_DIR}/tools/clipgen/clips.cpp ${PROJECT_SOURCE_DIR}/tools/clipgen/shape.cpp
  ${PROJECT_SOURCE_DIR}/tools/clipgen/synth.cpp ${PROJECT_SOURCE_DIR}/tools/clipgen/wav.cpp
  ${PROJECT_SOURCE_DIR}/tools/modelgen/exact_math.cpp)

add_executable(lumo-show ${lumo_wasm_sources} ${lumo_clipgen_sources})
target_include_directories(lumo-show PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tools/clipgen
                                             ${PROJECT_SOURCE_DIR}/tools/modelgen)
# A reactor: no main, the page calls the exports.  The stack comes first, so that
# overflowing it traps instead of writing over the data; preparation's memory grows as it
# needs, up to what wasm32 addresses.
target_link_options(lumo-show PRIVATE -mexec-model=reactor -Wl,--stack-first -Wl,-z,stack-size=8388608
                    -Wl,--max-memory=4294967296 -Wl,--strip-debug)
set_target_properties(lumo-show PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR} SUFFIX .wasm)
# clang's warning about `|` between comparisons: lumo writes it on purpose, so that the
# loop has no branch and vectorises.
target_compile_options(lumo-show PRIVATE -Wno-bitwise-instead-of-logical)
# Vectors of two doubles or four floats: their +, -, *, / and sqrt round lane by lane as
# the scalar ones do, so the output is the same bits, sooner (the clips' limiter most).
target_compile_options(lumo-show PRIVATE -msimd128)

# The module's tests run under Node.js against the x86-64 build's lumo-render: the 27
# figures and the first 17 s of the mix must be its bytes.  Skipped (77) without it.
enable_testing()
find_program(LUMO_NODE node)
set(LUMO_NATIVE_RENDER ${PROJECT_SOURCE_DIR}/build-ci/lumo-render CACHE FILEPATH
    "The x86-64 lumo-render the module is compared with")
if(LUMO_NODE)
  add_test(NAME wasm.module
           COMMAND ${LUMO_NODE} ${PROJECT_SOURCE_DIR}/tests/page/module_check.mjs $<TARGET_FILE:lumo-show>
                   ${LUMO_NATIVE_RENDER} ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/module_check)
  set_tests_properties(wasm.module PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
endif()

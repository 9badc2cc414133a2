# lumo_web: the scope page's hand-written files (web/), built into lumo-render byte for byte,
# so what lumo-render writes is the source itself; and the page's WebAssembly module, the
# show's code built again for wasm32 in build/wasm (cmake/wasm.cmake), so that the page
# prepares and mixes the show with the same sources.
include(${CMAKE_CURRENT_LIST_DIR}/embed.cmake)
include(ExternalProject)

set(lumo_web_names index.html scope.js scope.css show-worker.js)
set(lumo_web_symbols)
set(lumo_web_files)
foreach(name IN LISTS lumo_web_names)
  string(MAKE_C_IDENTIFIER "lumo_web_${name}" symbol)
  list(APPEND lumo_web_symbols ${symbol})
  list(APPEND lumo_web_files ${PROJECT_SOURCE_DIR}/web/${name})
endforeach()
lumo_embed_files(lumo_web_asm_file lumo_web SYMBOLS ${lumo_web_symbols} FILES ${lumo_web_files})

# Cross builds (ARM) leave the page's module out: the native build's lumo-render writes the
# page, and its tests run there.
if(CMAKE_CROSSCOMPILING)
  set(LUMO_WEB_MODULE OFF)
else()
  set(LUMO_WEB_MODULE ON)
endif()
if(LUMO_WEB_MODULE)
  set(lumo_wasm_dir ${CMAKE_BINARY_DIR}/wasm)
  ExternalProject_Add(lumo_wasm
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${lumo_wasm_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-wasm32-wasi.cmake
               -DCMAKE_BUILD_TYPE=Release -DLUMO_WERROR=${LUMO_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${lumo_wasm_dir} --target lumo-show
    BUILD_BYPRODUCTS ${lumo_wasm_dir}/lumo-show.wasm
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  set(LUMO_WEB_MODULE_FILE ${lumo_wasm_dir}/lumo-show.wasm)
  lumo_embed_files(lumo_module_asm_file lumo_web_module BUILT SYMBOLS lumo_web_module FILES ${LUMO_WEB_MODULE_FILE})
  add_library(lumo_web STATIC ${lumo_web_asm_file} ${lumo_module_asm_file})
  add_dependencies(lumo_web lumo_wasm)
  target_compile_definitions(lumo_web INTERFACE LUMO_WEB_MODULE=1)
else()
  add_library(lumo_web STATIC ${lumo_web_asm_file})
endif()

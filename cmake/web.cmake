# lumo_web: the scope page's hand-written files (web/), built into lumo-render byte for byte,
# so what lumo-render writes is the source itself.
include(${CMAKE_CURRENT_LIST_DIR}/embed.cmake)

set(lumo_web_symbols)
set(lumo_web_files)
foreach(name index.html scope.js scope.css)
  string(MAKE_C_IDENTIFIER "lumo_web_${name}" symbol)
  list(APPEND lumo_web_symbols ${symbol})
  list(APPEND lumo_web_files ${PROJECT_SOURCE_DIR}/web/${name})
endforeach()
lumo_embed_files(lumo_web_asm_file lumo_web SYMBOLS ${lumo_web_symbols} FILES ${lumo_web_files})

add_library(lumo_web STATIC ${lumo_web_asm_file})

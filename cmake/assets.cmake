# lumo_assets: the eight clips and eleven model texts, compiled into the program.
#
# One generated assembler file pulls every asset in (cmake/embed.cmake), so ~10 MB of data
# costs an assembler pass instead of a C++ compile.  assets.cpp exposes the symbols as spans
# in show order.  Every asset must exist: a missing one stops the configuration.
include(${CMAKE_CURRENT_LIST_DIR}/embed.cmake)

set(lumo_asset_symbols)
set(lumo_asset_files)
foreach(number RANGE 1 8)
  list(APPEND lumo_asset_symbols lumo_clip_${number})
  list(APPEND lumo_asset_files ${PROJECT_SOURCE_DIR}/assets/clips/clip-${number}.wav)
endforeach()
foreach(number RANGE 1 11)
  list(APPEND lumo_asset_symbols lumo_model_${number})
  if(number LESS 10)
    list(APPEND lumo_asset_files ${PROJECT_SOURCE_DIR}/assets/models/model-0${number}.obj)
  else()
    list(APPEND lumo_asset_files ${PROJECT_SOURCE_DIR}/assets/models/model-${number}.obj)
  endif()
endforeach()
lumo_embed_files(lumo_asset_asm_file lumo_assets SYMBOLS ${lumo_asset_symbols} FILES ${lumo_asset_files})

add_library(lumo_assets STATIC ${PROJECT_SOURCE_DIR}/src/assets/assets.cpp ${lumo_asset_asm_file})
target_include_directories(lumo_assets PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(lumo_assets PUBLIC lumo_core)

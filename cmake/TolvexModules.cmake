# Helpers that give every module file the system's own name on every platform.

# tolvex_module(<target> <FileName.dll> sources...): a loadable module whose file
# is exactly <FileName.dll>, with hidden symbols except its explicit exports.
function(tolvex_module target file_name)
  add_library(${target} SHARED ${ARGN})
  get_filename_component(stem ${file_name} NAME_WE)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${stem}
    SUFFIX ".dll"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# tolvex_core_library(<target> DEPENDS <targets> SOURCES <files>): one folder of
# the core; DEPENDS writes down which layers it may use.
function(tolvex_core_library target)
  cmake_parse_arguments(ARG "" "" "DEPENDS;SOURCES" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  if(ARG_DEPENDS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS})
  endif()
endfunction()

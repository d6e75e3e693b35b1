# Warnings and sanitizers shared by every target of the project.
set(CADRIX_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address' (ASan+UBSan) or 'thread' (TSan)")
set(CADRIX_WERROR OFF CACHE BOOL "Treat warnings as errors")

add_compile_options(-Wall -Wextra -Wpedantic)
if(CADRIX_WERROR)
  add_compile_options(-Werror)
endif()
# GCC 12 reports -Wrestrict inside libstdc++'s std::string concatenation when
# optimising (GCC bug 105651); the report is false and fires in user code
# such as "0" + std::to_string(n).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()

if(CADRIX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(CADRIX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT CADRIX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "CADRIX_SANITIZE must be empty, 'address' or 'thread'")
endif()

# A run-time loaded module: C entry points only, nothing else exported, built
# into the module folder of the build tree and installed into lib/cadrix/.
# Usage: cadrix_add_module(<target> VERSION_SCRIPT <file> SOURCES ...)
function(cadrix_add_module target)
  cmake_parse_arguments(M "" "VERSION_SCRIPT;OUTPUT_DIR" "SOURCES" ${ARGN})
  add_library(${target} MODULE ${M_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(M_OUTPUT_DIR)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${M_OUTPUT_DIR}")
  else()
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${CADRIX_MODULE_OUTPUT_DIR}")
    install(TARGETS ${target} LIBRARY DESTINATION "${CADRIX_MODULE_SUBDIR}")
  endif()
  if(M_VERSION_SCRIPT)
    target_link_options(${target} PRIVATE "-Wl,--version-script=${M_VERSION_SCRIPT}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${M_VERSION_SCRIPT}")
  endif()
  target_link_options(${target} PRIVATE "-Wl,--no-undefined")
endfunction()

# Builds `target` without the sanitizers the build adds to every target: for
# code that runs inside other programs, e.g. an LD_PRELOAD library, which must
# load into a program built with or without them.
function(cadrix_without_sanitizers target)
  foreach(property COMPILE_OPTIONS LINK_OPTIONS)
    get_target_property(options ${target} ${property})
    if(options)
      list(FILTER options EXCLUDE REGEX "sanitize")
      set_target_properties(${target} PROPERTIES ${property} "${options}")
    endif()
  endforeach()
endfunction()

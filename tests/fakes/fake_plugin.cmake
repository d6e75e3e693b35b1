# The recording fake encoder plug-in, built as cadrix_wma.so, cadrix_ogg.so and cadrix_flac.so
# into ${CADRIX_TEST_FAKES_DIR}/plugins (never installed), and a variant
# lacking WriteOutput in plugins/no_write.
foreach(variant wma ogg flac no_write)
  set(target fake_plugin_${variant})
  if(variant STREQUAL "no_write")
    set(dir "${CADRIX_TEST_FAKES_DIR}/plugins/no_write")
    set(name cadrix_wma)
  else()
    set(dir "${CADRIX_TEST_FAKES_DIR}/plugins")
    set(name cadrix_${variant})
  endif()
  cadrix_add_module(${target} OUTPUT_DIR "${dir}" SOURCES "${CMAKE_CURRENT_LIST_DIR}/fake_plugin.cpp")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name})
  target_include_directories(${target} PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
  target_link_libraries(${target} PRIVATE cadrix_plugin_api)
  if(variant STREQUAL "no_write")
    target_compile_definitions(${target} PRIVATE FAKE_PLUGIN_WITHOUT_WRITE)
  endif()
endforeach()

# What a test suite links to script the fake plug-in.
add_library(fake_plugin_control INTERFACE)
target_include_directories(fake_plugin_control INTERFACE "${CMAKE_CURRENT_LIST_DIR}")
target_compile_definitions(fake_plugin_control INTERFACE
  CADRIX_TEST_FAKES_DIR="${CADRIX_TEST_FAKES_DIR}")
target_link_libraries(fake_plugin_control INTERFACE ${CMAKE_DL_LIBS})
add_dependencies(fake_plugin_control fake_plugin_wma fake_plugin_ogg fake_plugin_flac fake_plugin_no_write)

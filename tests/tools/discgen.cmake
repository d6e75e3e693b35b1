# The disc-image generator: layout, content and determinism of its images.
if(TARGET cadrix_discgen)
  cadrix_add_test(disc_generator_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/disc_generator_test.cpp
    LIBS cadrix_discgen)
endif()

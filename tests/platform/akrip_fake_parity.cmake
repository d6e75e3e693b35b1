# The fake akrip.so of the engine's tests against the real one, for the same
# disc.
if(TARGET akrip)
  cadrix_add_test(akrip_fake_parity_test SOURCES akrip_fake_parity_test.cpp
    LIBS akrip_test_fixture fake_akrip_control)
endif()

# The field's standard NMEA 2000 decoder (an npm package, pinned in
# n2k-decoder/package-lock.json and installed by the first test below) against
# the panel: over every level from the bus model, and over what the emulator
# logs.
add_executable(n2k_decoder_check n2k_decoder_check.cpp)
target_link_libraries(n2k_decoder_check PRIVATE brendlow_session)
set(n2k_decoder_dir ${CMAKE_CURRENT_SOURCE_DIR}/n2k-decoder)
add_test(NAME n2k_decoder_install COMMAND bash ${n2k_decoder_dir}/install.sh)
set_tests_properties(n2k_decoder_install PROPERTIES FIXTURES_SETUP n2k_decoder TIMEOUT 300)
foreach(mode grid emulator)
    add_test(NAME test_n2k_decoder_${mode}
             COMMAND bash ${n2k_decoder_dir}/cross_check.sh ${mode} ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
                     $<TARGET_FILE:n2k_decoder_check>)
    set_tests_properties(test_n2k_decoder_${mode} PROPERTIES
        FIXTURES_REQUIRED n2k_decoder TIMEOUT 120 SKIP_RETURN_CODE 77)
endforeach()
add_dependencies(n2k_decoder_check BrendlowEmulator brendlowctl)

# A real Signal K server (signalk/, pinned in its package-lock.json and
# installed by the first test below) fed by the emulator's gateway, checked
# through its REST API against the table in docs/signalk.md.
find_program(BRENDLOW_NODE node)
if(BRENDLOW_NODE)
    add_test(NAME signalk_install COMMAND bash ${CMAKE_SOURCE_DIR}/signalk/install.sh)
    set_tests_properties(signalk_install PROPERTIES FIXTURES_SETUP signalk TIMEOUT 600)
    add_test(NAME test_signalk
             COMMAND ${BRENDLOW_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/signalk/check.js ${CMAKE_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR})
    set_tests_properties(test_signalk PROPERTIES FIXTURES_REQUIRED signalk TIMEOUT 240)
else()
    message(STATUS "node is missing: test_signalk is left out (./test.sh installs node)")
endif()

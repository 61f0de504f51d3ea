# The port links, the Serial Ports dialog, and the installed programs.
brendlow_add_test(test_port_map SOURCES test_port_map.cpp LIBS brendlow_window)
add_test(NAME test_install
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/test_install.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(test_install PROPERTIES TIMEOUT 120)

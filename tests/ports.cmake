# The port links, the Serial Ports dialog, and the installed programs.
brendlow_add_test(test_port_map SOURCES test_port_map.cpp LIBS brendlow_shell)

brendlow_add_test(test_terminal_window SOURCES test_terminal_window.cpp FakeEnvironment.h LIBS brendlow_shell)
brendlow_add_test(test_end_to_end SOURCES test_end_to_end.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_shell)
add_dependencies(test_end_to_end BrendlowEmulator)
brendlow_add_test(test_fault_injection SOURCES test_fault_injection.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_shell)
add_dependencies(test_fault_injection BrendlowEmulator BrendlowTerminal)
# The flood saturates the machine; the other tests' timing should not share it.
set_tests_properties(test_fault_injection PROPERTIES RUN_SERIAL TRUE)
brendlow_add_test(test_link_recovery SOURCES test_link_recovery.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_shell)
add_dependencies(test_link_recovery BrendlowEmulator)

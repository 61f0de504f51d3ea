# brendlowctl as a process against the emulator, checked against the window.
brendlow_add_test(test_cli SOURCES test_cli.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_window)
add_dependencies(test_cli BrendlowEmulator brendlowctl)
# brendlowctl bus with the emulator on a virtual CAN bus.
brendlow_add_test(test_cli_bus SOURCES test_cli_bus.cpp ${CMAKE_SOURCE_DIR}/cli/BusJudge.cpp
    LIBS brendlow_session)
add_dependencies(test_cli_bus BrendlowEmulator brendlowctl)
# Scenario files: the parser and schedule alone, play and record against the emulator.
brendlow_add_test(test_scenario SOURCES test_scenario.cpp EmulatorProcess.h LIBS brendlow_window)
target_compile_definitions(test_scenario PRIVATE BRENDLOW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(test_scenario BrendlowEmulator brendlowctl)

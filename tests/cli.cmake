# brendlowctl as a process against the emulator, checked against the window.
brendlow_add_test(test_cli SOURCES test_cli.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_window)
add_dependencies(test_cli BrendlowEmulator brendlowctl)

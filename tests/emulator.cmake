# The device emulator: its loop in-process on a real pty, and the program.
brendlow_add_test(test_emulator SOURCES test_emulator.cpp LIBS brendlow_emulator_core)
add_dependencies(test_emulator BrendlowEmulator)

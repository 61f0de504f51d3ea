# The device emulator: its core in-process, and the program over a real pty.
brendlow_add_test(test_emulator SOURCES test_emulator.cpp LIBS brendlow_emulator_core Qt6::SerialPort)
add_dependencies(test_emulator BrendlowEmulator)

# The device emulator: its loop in-process on a real pty, and the program.
brendlow_add_test(test_emulator SOURCES test_emulator.cpp LIBS brendlow_emulator_core)
add_dependencies(test_emulator BrendlowEmulator)
brendlow_add_test(test_emulator_bus SOURCES test_emulator_bus.cpp
                  LIBS brendlow_emulator_core Qt6::SerialBus Qt6::Network)
add_dependencies(test_emulator_bus BrendlowEmulator)

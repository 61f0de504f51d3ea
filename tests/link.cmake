# The line protocol, the instance line and the settings file: plain C++.
brendlow_add_test(test_link SOURCES test_link.cpp LIBS brendlow_link brendlow_device)
brendlow_add_test(test_settings_file SOURCES test_settings_file.cpp LIBS brendlow_settings)

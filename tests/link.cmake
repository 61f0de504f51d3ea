# The line protocol, the instance line and the settings file: no widgets.
brendlow_add_test(test_link SOURCES test_link.cpp LIBS brendlow_core)
brendlow_add_test(test_settings_file SOURCES test_settings_file.cpp LIBS brendlow_session)
brendlow_add_test(test_settings_store SOURCES test_settings_store.cpp LIBS brendlow_session)

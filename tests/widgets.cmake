# The widgets that keep time, on a time the test sets.
brendlow_add_test(test_widgets SOURCES test_widgets.cpp LIBS brendlow_widgets)

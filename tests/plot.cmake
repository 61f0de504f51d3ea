# The read-outs over time: the history, the plot window and watch --csv.
brendlow_add_test(test_plot SOURCES test_plot.cpp EmulatorProcess.h FakeEnvironment.h LIBS brendlow_window)
add_dependencies(test_plot BrendlowEmulator brendlowctl)

thermo_add_bench(bench_cycle SOURCES cycle_bench.cpp LIBS thermo_run)
if(THERMO_BUILD_GUI)
    thermo_add_bench(bench_main_window SOURCES main_window_bench.cpp LIBS thermo_main_window thermo_sim)
endif()
if(THERMO_BUILD_GUI)
    # One long run printing a table, not a Google Benchmark (bench/soak.cpp).
    thermo_add_bench(bench_soak SOURCES soak.cpp LIBS thermo_main_window thermo_sim)
endif()

thermo_add_bench(bench_control SOURCES control_bench.cpp LIBS thermo_control)

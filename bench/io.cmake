thermo_add_bench(bench_io SOURCES io_bench.cpp LIBS thermo_io thermo_sim)

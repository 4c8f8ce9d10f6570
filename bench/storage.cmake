thermo_add_bench(bench_storage SOURCES storage_bench.cpp LIBS thermo_storage)
thermo_add_bench(bench_replay SOURCES replay_bench.cpp LIBS thermo_analysis)

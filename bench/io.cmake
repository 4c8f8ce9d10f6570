thermo_add_bench(bench_io SOURCES io_bench.cpp LIBS thermo_io thermo_sim)
thermo_add_bench(bench_sim SOURCES sim_bench.cpp LIBS thermo_io)
target_compile_definitions(bench_sim PRIVATE THERMO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_sim thermostand-sim thermostand-cli)

thermo_add_bench(bench_guard SOURCES guard_bench.cpp LIBS thermo_stand_devices)
target_compile_definitions(bench_guard PRIVATE THERMO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(bench_guard thermostand-guard)

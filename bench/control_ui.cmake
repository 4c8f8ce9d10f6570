if(TARGET thermo_control_ui)
    thermo_add_bench(bench_control_ui SOURCES control_ui_bench.cpp LIBS thermo_control_ui thermo_ui_aux)
endif()

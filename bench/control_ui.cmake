if(TARGET thermo_term_window)
    thermo_add_bench(bench_control_ui SOURCES control_ui_bench.cpp LIBS thermo_term_window thermo_ui_aux)
endif()

if(TARGET thermo_control_ui)
    thermo_add_bench(bench_analysis SOURCES analysis_bench.cpp LIBS thermo_control_ui thermo_replay thermo_ui_aux)
endif()

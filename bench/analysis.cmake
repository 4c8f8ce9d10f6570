if(TARGET thermo_term_window)
    thermo_add_bench(bench_analysis SOURCES analysis_bench.cpp LIBS thermo_term_window thermo_analysis thermo_ui_aux)
endif()

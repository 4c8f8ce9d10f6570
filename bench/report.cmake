if(TARGET thermo_analysis_ui)
    thermo_add_bench(bench_report SOURCES report_bench.cpp LIBS thermo_analysis_ui thermo_ui_aux)
endif()

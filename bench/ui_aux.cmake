if(TARGET thermo_ui_aux)
    thermo_add_bench(bench_ui_aux SOURCES ui_aux_bench.cpp
        LIBS thermo_jpeg thermo_sound thermo_resources Qt6::Gui)
endif()

if(TARGET thermo_archive_window)
    thermo_add_bench(bench_archive_view_ui SOURCES archive_view_ui_bench.cpp
                     LIBS thermo_archive_window thermo_ui_aux)
endif()

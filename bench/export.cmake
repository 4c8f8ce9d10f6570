find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
thermo_add_bench(bench_export_xlsx SOURCES export_xlsx_bench.cpp
                 LIBS thermo_export_xlsx PkgConfig::BENCH_XLSXWRITER)
if(THERMO_BUILD_GUI)
    thermo_add_bench(bench_export_chart SOURCES export_chart_bench.cpp LIBS thermo_export_chart thermo_ui_aux)
endif()

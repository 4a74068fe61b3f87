# The reader's cost per packet and the probe's time per port (the emulator stands in for tablets).
add_executable(bench_reader ${CMAKE_CURRENT_LIST_DIR}/bench_reader.cpp)
target_link_libraries(bench_reader PRIVATE vellum_emulator benchmark::benchmark)
set_target_properties(bench_reader PROPERTIES AUTOMOC OFF)
vellum_target_defaults(bench_reader)

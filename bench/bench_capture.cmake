# What recording a capture adds to the reader's time per packet.
add_executable(bench_capture ${CMAKE_CURRENT_LIST_DIR}/bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE vellum_capture vellum_emulator benchmark::benchmark)
set_target_properties(bench_capture PROPERTIES AUTOMOC OFF)
vellum_target_defaults(bench_capture)

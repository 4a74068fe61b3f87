# `vellum --pen`: last byte to the frame written, and the quiet tablet's wake-ups (no Qt).
add_executable(bench_pen ${CMAKE_CURRENT_LIST_DIR}/bench_pen.cpp)
target_link_libraries(bench_pen PRIVATE vellum_pen vellum_emulator)
set_target_properties(bench_pen PROPERTIES AUTOMOC OFF)
vellum_target_defaults(bench_pen)

# What recording a capture adds to the reader's time per packet.
add_executable(bench_capture ${CMAKE_CURRENT_LIST_DIR}/bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE vellum_capture vellum_emulator benchmark::benchmark)
set_target_properties(bench_capture PROPERTIES AUTOMOC OFF)
vellum_target_defaults(bench_capture)

# The same with the whole view behind the reader, as in the program.
if(VELLUM_GUI)
  add_executable(bench_capture_view ${CMAKE_CURRENT_LIST_DIR}/bench_capture_view.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/ViewBenchMain.cpp)
  target_link_libraries(bench_capture_view PRIVATE vellum_view vellum_capture vellum_emulator
                        benchmark::benchmark)
  vellum_target_defaults(bench_capture_view)
endif()

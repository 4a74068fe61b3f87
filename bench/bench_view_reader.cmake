# The reader with the whole view behind it, on an emulated tablet at 100x the line rate.
if(VELLUM_GUI)
  add_executable(bench_view_reader ${CMAKE_CURRENT_LIST_DIR}/bench_view_reader.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/ViewBenchMain.cpp)
  target_link_libraries(bench_view_reader PRIVATE vellum_view vellum_emulator benchmark::benchmark)
  vellum_target_defaults(bench_view_reader)
endif()

# The reader's time per packet on the Shake and Keystroke screens, beside Linear.
if(VELLUM_GUI)
  add_executable(bench_screens ${CMAKE_CURRENT_LIST_DIR}/bench_screens.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/ViewBenchMain.cpp)
  target_link_libraries(bench_screens PRIVATE vellum_view vellum_emulator benchmark::benchmark)
  vellum_target_defaults(bench_screens)
endif()

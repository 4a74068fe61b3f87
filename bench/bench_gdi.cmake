# Per-packet drawing costs of the drawing layer on a full-HD surface (offscreen platform).
if(VELLUM_GUI)
  add_executable(bench_gdi ${CMAKE_CURRENT_LIST_DIR}/bench_gdi.cpp)
  target_link_libraries(bench_gdi PRIVATE vellum_gdi benchmark::benchmark)
  set_target_properties(bench_gdi PROPERTIES AUTOMOC OFF)
  vellum_target_defaults(bench_gdi)
endif()

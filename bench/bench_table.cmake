# The performance table's measurements: bench_table (in-process figures) and bench_first_frame
# (start-up to the first frame under an X server). scripts/bench.sh runs both and prints the table.
if(VELLUM_GUI)
  add_executable(bench_table ${CMAKE_CURRENT_LIST_DIR}/bench_table.cpp)
  target_link_libraries(bench_table PRIVATE vellum_view vellum_emulator)
  vellum_target_defaults(bench_table)
endif()

find_library(VELLUM_XCB_LIBRARY xcb)
if(VELLUM_XCB_LIBRARY)
  add_executable(bench_first_frame ${CMAKE_CURRENT_LIST_DIR}/bench_first_frame.cpp)
  target_link_libraries(bench_first_frame PRIVATE ${VELLUM_XCB_LIBRARY})
  set_target_properties(bench_first_frame PROPERTIES AUTOMOC OFF)
  vellum_target_defaults(bench_first_frame)
endif()

# Last byte written -> pointer, and -> the trace's pixel, seen by another X client, against the
# real program.
if(VELLUM_XCB_LIBRARY AND TARGET vellum_emulator)
  foreach(bench bench_pointer bench_trace)
    add_executable(${bench} ${CMAKE_CURRENT_LIST_DIR}/${bench}.cpp)
    target_link_libraries(${bench} PRIVATE vellum_emulator ${VELLUM_XCB_LIBRARY})
    set_target_properties(${bench} PROPERTIES AUTOMOC OFF)
    vellum_target_defaults(${bench})
  endforeach()
endif()

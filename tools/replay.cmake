# `vellum-tablet --replay`: a capture played back by the emulator.
add_library(vellum_replay STATIC ${CMAKE_CURRENT_LIST_DIR}/Replay.cpp)
target_link_libraries(vellum_replay PUBLIC vellum_emulator vellum_capture)
set_target_properties(vellum_replay PROPERTIES AUTOMOC OFF)
vellum_target_defaults(vellum_replay)
target_link_libraries(vellum-tablet PRIVATE vellum_replay)

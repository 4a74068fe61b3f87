# How the headless commands are asked to stop. Qt-free.
add_library(vellum_stop_signals STATIC ${CMAKE_CURRENT_LIST_DIR}/StopSignals.cpp)
target_link_libraries(vellum_stop_signals PUBLIC vellum_tablet)
set_target_properties(vellum_stop_signals PROPERTIES AUTOMOC OFF)
vellum_target_defaults(vellum_stop_signals)

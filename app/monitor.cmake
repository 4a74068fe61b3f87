# `vellum --monitor`: packets as text lines, no window. Qt-free.
add_library(vellum_monitor STATIC ${CMAKE_CURRENT_LIST_DIR}/MonitorCommand.cpp)
target_link_libraries(vellum_monitor PUBLIC vellum_capture vellum_stop_signals Threads::Threads)
set_target_properties(vellum_monitor PROPERTIES AUTOMOC OFF)
vellum_target_defaults(vellum_monitor)
target_link_libraries(vellum PRIVATE vellum_monitor)
target_sources(vellum PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CaptureCommands.cpp)

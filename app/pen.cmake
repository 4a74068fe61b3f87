# `vellum --pen`: the tablet as an evdev pen tablet, no window. Qt-free.
add_library(vellum_pen_command STATIC ${CMAKE_CURRENT_LIST_DIR}/PenCommand.cpp)
target_link_libraries(vellum_pen_command PUBLIC vellum_pen vellum_stop_signals Threads::Threads)
set_target_properties(vellum_pen_command PROPERTIES AUTOMOC OFF)
vellum_target_defaults(vellum_pen_command)
target_link_libraries(vellum PRIVATE vellum_pen_command)

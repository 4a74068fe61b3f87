# Capture files: the format, the recorder the reader taps and the port that records the probe.
add_library(vellum_capture STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CaptureFlushTicker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureFormat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CaptureRecorder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RecordingPort.cpp
)
target_link_libraries(vellum_capture PUBLIC vellum_tablet)
target_compile_definitions(vellum_capture PRIVATE VELLUM_VERSION="${PROJECT_VERSION}")
set_target_properties(vellum_capture PROPERTIES AUTOMOC OFF)
vellum_target_defaults(vellum_capture)

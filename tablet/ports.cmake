# Finding the serial ports and saying why one gave no tablet: libudev lists the devices.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
target_sources(vellum_tablet PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FakeSystem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDiagnosis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortDiscovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SystemPorts.cpp
)
target_link_libraries(vellum_tablet PRIVATE PkgConfig::UDEV)

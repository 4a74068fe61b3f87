# The test window: Qt application, frame, document and the view, added to `vellum`.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
target_sources(vellum PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DisplayCheck.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GuiMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VellumApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VellumDoc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowRecording.cpp)
target_link_libraries(vellum PRIVATE vellum_view Qt6::Widgets Qt6::PrintSupport PkgConfig::XCB)
# The icon: the SVG, and its 48-pixel rendering for Qt without its svg plugins
# (rsvg-convert -w 48 -h 48 res/vellum.svg -o res/vellum-48.png).
qt_add_resources(vellum "vellum_icon" PREFIX "/" BASE ${PROJECT_SOURCE_DIR}
  FILES ${PROJECT_SOURCE_DIR}/res/vellum.svg ${PROJECT_SOURCE_DIR}/res/vellum-48.png)
set_target_properties(vellum PROPERTIES AUTOMOC ON)

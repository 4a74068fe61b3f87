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
target_compile_definitions(vellum PRIVATE VELLUM_HAVE_GUI=1)
target_link_libraries(vellum PRIVATE vellum_view Qt6::Widgets PkgConfig::XCB)
set_target_properties(vellum PROPERTIES AUTOMOC ON)

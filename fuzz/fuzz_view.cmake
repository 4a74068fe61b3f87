# The reader with the whole view behind it, offscreen.
if(VELLUM_GUI)
  vellum_fuzz_target(fuzz_view vellum_view vellum_emulator ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

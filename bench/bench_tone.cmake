# The tone's wall time per beep (a small main): ALSA's null device, no device at all, and a
# device paced like a sound card (ClockPcm, an ALSA I/O plugin loaded through the benchmark's
# own ALSA configuration).
if(VELLUM_GUI)
  add_library(asound_module_pcm_vellum_clock MODULE ${CMAKE_CURRENT_LIST_DIR}/ClockPcm.cpp)
  target_link_libraries(asound_module_pcm_vellum_clock PRIVATE ALSA::ALSA)
  # ALSA's plugin headers export the version symbol only for a shared (PIC) build.
  target_compile_definitions(asound_module_pcm_vellum_clock PRIVATE PIC)
  set_target_properties(asound_module_pcm_vellum_clock PROPERTIES AUTOMOC OFF PREFIX "lib")
  vellum_target_defaults(asound_module_pcm_vellum_clock)

  add_executable(bench_tone ${CMAKE_CURRENT_LIST_DIR}/bench_tone.cpp)
  target_link_libraries(bench_tone PRIVATE vellum_platform)
  target_compile_definitions(bench_tone PRIVATE
    VELLUM_CLOCK_PCM="$<TARGET_FILE:asound_module_pcm_vellum_clock>")
  add_dependencies(bench_tone asound_module_pcm_vellum_clock)
  set_target_properties(bench_tone PROPERTIES AUTOMOC OFF)
  vellum_target_defaults(bench_tone)
endif()

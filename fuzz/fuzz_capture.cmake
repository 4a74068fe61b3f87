# Capture files: the reader of the format and the replay built from it.
vellum_fuzz_target(fuzz_capture vellum_replay)

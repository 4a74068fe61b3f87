# The pen tablet: frames from any packets, quiet lines and tool changes.
vellum_fuzz_target(fuzz_pen vellum_pen)

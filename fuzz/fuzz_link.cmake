# The tablet link: the probe against any device, the reader on any stream, the assembler against
# its rules, the emulator's scripts.
vellum_fuzz_target(fuzz_probe vellum_tablet)
vellum_fuzz_target(fuzz_reader vellum_tablet)
vellum_fuzz_target(fuzz_assembler vellum_tablet)
vellum_fuzz_target(fuzz_script vellum_emulator)

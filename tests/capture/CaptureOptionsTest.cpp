#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace vellum {
namespace {

TEST(CaptureOptions, RecordAndMonitorOnTheCommandLine) {
  struct Row {
    std::vector<std::string> args;
    const char* error;  // start of the error, "" when the line is fine
    bool probe, monitor;
    const char* record;
  };
  const Row rows[] = {
      {{"--record", "cap.txt"}, "", false, false, "cap.txt"},
      {{"--record=cap.txt", "--monitor"}, "", false, true, "cap.txt"},
      {{"--monitor"}, "", false, true, ""},
      {{"--probe", "--record", "probe.txt"}, "", true, false, "probe.txt"},
      {{"--record"}, "--record: expected FILE", false, false, ""},
      {{"--record="}, "--record: expected FILE", false, false, ""},
      {{"--probe", "--monitor"}, "--probe and --monitor", false, false, ""},
      {{"--monitor", "--stats"}, "", false, true, ""},
      {{"--stats"}, "--stats goes with --monitor only", false, false, ""},
      {{"--probe", "--stats"}, "--stats goes with --monitor only", false, false, ""},
      {{"--list-ports", "--stats"}, "--list-ports stands alone, not with --stats", false, false, ""},
  };
  for (const Row& r : rows) {
    const ParsedCommandLine p = ParseCommandLine(r.args);
    EXPECT_EQ(p.error.rfind(r.error, 0), 0u) << r.args[0] << ": " << p.error;
    if (*r.error != '\0') continue;
    EXPECT_EQ(p.options.probe, r.probe) << r.args[0];
    EXPECT_EQ(p.options.monitor, r.monitor) << r.args[0];
    EXPECT_EQ(p.options.record, r.record) << r.args[0];
  }
}

}  // namespace
}  // namespace vellum

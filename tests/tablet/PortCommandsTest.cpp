// The command line's port options.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace vellum::test {
namespace {

// Port options parse alone or together; --port's COM is kept whichever side of --ports it is.
TEST(CommandLine, PortOptions) {
  const std::pair<std::vector<std::string>, const char*> rows[] = {
      {{"--ports", "auto", "--port", "3=/x"}, ""},
      {{"--port=3=/x", "--ports=auto", "--probe"}, ""},
      {{"--list-ports"}, ""},
      {{"--ports", "ttyS0"}, "--ports: only 'auto' is accepted, got 'ttyS0'"},
      {{"--ports="}, "--ports: only 'auto' is accepted, got ''"},
      {{"--ports"}, "--ports: expected auto"},
      {{"--list-ports", "--probe"}, "--list-ports stands alone, not with --probe"},
      {{"--port", "1=/x", "--list-ports"}, "--list-ports stands alone, not with --port"},
  };
  for (const auto& [args, error] : rows) {
    const ParsedCommandLine p = ParseCommandLine(args);
    EXPECT_EQ(p.error, error) << args[0];
    if (*error != '\0' || args[0] == "--list-ports") continue;
    EXPECT_TRUE(p.options.autoPorts) << args[0];
    EXPECT_EQ(p.options.portGiven, (std::array<bool, 4>{false, false, true, false})) << args[0];
  }
  EXPECT_TRUE(ParseCommandLine({"--list-ports"}).options.listPorts);
}

}  // namespace
}  // namespace vellum::test

// What a lost tablet is said to be: its reason, and whether its device node has gone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tablet/LostTablet.h"

namespace vellum::test {
namespace {

TEST(LostTablet, ReasonNamesUnpluggedAndWhatTheSystemSaid) {
  struct Row {
    const char* readFailure;
    const char* systemSaid;
    bool gone;
    const char* reason;
  };
  const Row rows[] = {
      {"the line hung up", "read: hang-up", true, "unplugged (read: hang-up)"},
      {"the line hung up", "read: Input/output error", true,
       "unplugged (read: Input/output error)"},
      {"the line hung up", "read: hang-up", false, "the line hung up (read: hang-up)"},
      {"the read failed: Bad address", "read: Bad address", false, "the read failed: Bad address"},
      {"the read failed: Bad address", "read: Bad address", true, "unplugged (read: Bad address)"},
      {"", "", false, "the read failed"},
      {"", "", true, "unplugged"},
      {"the port was closed", "", false, "the port was closed"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(LostTabletReason(r.readFailure, r.systemSaid, r.gone), r.reason)
        << r.readFailure << " / " << r.systemSaid << " / " << r.gone;
  }
}

TEST(LostTablet, DeviceGoneFollowsLinks) {
  char dir[] = "/tmp/vellum-lost-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/node", link = std::string(dir) + "/com1";
  std::fclose(std::fopen(file.c_str(), "w"));
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  EXPECT_FALSE(DeviceGone(file, 0));
  EXPECT_FALSE(DeviceGone(link, 0));
  ::unlink(file.c_str());
  EXPECT_TRUE(DeviceGone(file, 0));
  EXPECT_TRUE(DeviceGone(link, 0)) << "a link to a node that has gone";
  EXPECT_TRUE(DeviceGone(file + "/below", 0));
  ::unlink(link.c_str());
  ::rmdir(dir);
}

}  // namespace
}  // namespace vellum::test

// Which group, if any, the operator should join to use a device that refused
// to open: advice only where joining a group would really help.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "device/adapter_tuning.h"

namespace {

namespace fs = std::filesystem;

// A group this process is not in, with its name.
bool ForeignGroup(gid_t* gid, std::string* name) {
  for (const char* candidate : {"dialout", "uucp", "tty", "nogroup"}) {
    const group* g = getgrnam(candidate);
    if (g && g->gr_gid != getegid()) {
      *gid = g->gr_gid;
      *name = g->gr_name;
      return true;
    }
  }
  return false;
}

struct AdviceCase {
  const char* name;
  bool ownedByUs;
  bool ourGroup;
  mode_t mode;
  bool advised;
};

TEST(GroupAdvice, NamesTheDevicesGroupOnlyWhenJoiningItWouldGrantAccess) {
  gid_t foreign = 0;
  std::string foreignName;
  if (!ForeignGroup(&foreign, &foreignName)) GTEST_SKIP() << "no group here that this process is not in";
  const fs::path file = fs::temp_directory_path() / ("dimlet-group-" + std::to_string(getpid()));
  std::fclose(std::fopen(file.c_str(), "w"));
  const uid_t otherUser = geteuid() == 0 ? 65534 : geteuid();

  const AdviceCase cases[] = {
      {"group may read and write, we are not in it", false, false, 0660, true},
      {"group may only read: joining would not help", false, false, 0640, false},
      {"no access for the group at all", false, false, 0600, false},
      {"already in the group: the reason is something else", false, true, 0660, false},
      {"our own device", true, false, 0660, false},
  };
  for (const AdviceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const uid_t owner = c.ownedByUs ? geteuid() : otherUser;
    const gid_t gid = c.ourGroup ? getegid() : foreign;
    if (chown(file.c_str(), owner, gid) != 0) GTEST_SKIP() << "cannot give the file away (needs root)";
    ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
    if (!c.ownedByUs && owner == geteuid()) continue;  // not root: no other owner to try
    EXPECT_EQ(GroupToJoin(file.string()), c.advised ? foreignName : std::string());
  }
  EXPECT_EQ(GroupToJoin((file.string() + "-missing")), "");
  fs::remove(file);
}

}  // namespace

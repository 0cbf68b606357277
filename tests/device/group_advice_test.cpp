// Which group, if any, the operator should join to use a device that refused
// to open: advice only where joining a group would really help.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "device/adapter_tuning.h"
#include "support/files.h"
#include "support/row_names.h"
#include "support/temp_folder.h"

namespace {

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

void PrintTo(const AdviceCase& c, std::ostream* os) { *os << c.name; }

const AdviceCase kAdvice[] = {
    {"group may read and write, we are not in it", false, false, 0660, true},
    {"group may only read: joining would not help", false, false, 0640, false},
    {"no access for the group at all", false, false, 0600, false},
    {"already in the group: the reason is something else", false, true, 0660, false},
    {"our own device", true, false, 0660, false},
};

class GroupAdvice : public testing::TestWithParam<AdviceCase> {};

TEST_P(GroupAdvice, NamesTheDevicesGroupOnlyWhenJoiningItWouldGrantAccess) {
  const AdviceCase& c = GetParam();
  gid_t foreign = 0;
  std::string foreignName;
  if (!ForeignGroup(&foreign, &foreignName)) GTEST_SKIP() << "no group here that this process is not in";
  testsupport::TempFolder folder;
  const std::string file = folder.File("device");
  testsupport::WriteFile(file, "");
  const uid_t owner = c.ownedByUs ? geteuid() : (geteuid() == 0 ? 65534 : geteuid());
  if (!c.ownedByUs && owner == geteuid()) GTEST_SKIP() << "not root: no other owner to give the device to";
  const gid_t gid = c.ourGroup ? getegid() : foreign;
  if (chown(file.c_str(), owner, gid) != 0) GTEST_SKIP() << "cannot give the file away (needs root)";
  ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
  EXPECT_EQ(GroupToJoin(file), c.advised ? foreignName : std::string());
}

INSTANTIATE_TEST_SUITE_P(Devices, GroupAdvice, testing::ValuesIn(kAdvice), testsupport::RowName{});

TEST(GroupAdviceMissing, NoDeviceNoAdvice) {
  testsupport::TempFolder folder;
  EXPECT_EQ(GroupToJoin(folder.File("missing")), "");
}

}  // namespace

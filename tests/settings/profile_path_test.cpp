// Where the profile lives: the configuration folder by the XDG rules, one file
// per program name.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "settings/profile_store.h"

namespace {

// Sets (or with nullptr removes) an environment variable for one test.
class CEnvironmentVariable {
 public:
  CEnvironmentVariable(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~CEnvironmentVariable() {
    if (m_old) {
      setenv(m_name.c_str(), m_old->c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

TEST(ProfilePath, XdgConfigHomeWhenAbsoluteElseHomeConfig) {
  CEnvironmentVariable home("HOME", "/home/op");
  for (const char* xdg : {"/srv/conf/", "relative/conf", "", static_cast<const char*>(nullptr)}) {
    CEnvironmentVariable variable("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(ProfilePathFor("dimlet"),
              xdg && xdg[0] == '/' ? "/srv/conf/dimlet.ini" : "/home/op/.config/dimlet.ini");
  }
}

TEST(ProfilePath, PasswordEntryStandsInForAMissingHome) {
  const passwd* user = getpwuid(getuid());
  if (!user || !user->pw_dir) GTEST_SKIP() << "no password entry for this user";
  CEnvironmentVariable xdg("XDG_CONFIG_HOME", nullptr);
  CEnvironmentVariable home("HOME", nullptr);
  EXPECT_EQ(ProfilePathFor("dimlet"), std::string(user->pw_dir) + "/.config/dimlet.ini");
}

TEST(ProfilePath, RenamedExecutableKeepsAProfileOfItsOwn) {
  CEnvironmentVariable xdg("XDG_CONFIG_HOME", "/c");
  EXPECT_EQ(ProfilePathFor("/usr/local/bin/dimlet-bench"), "/c/dimlet-bench.ini");
  EXPECT_EQ(DefaultProfilePath(), "/c/settings_tests.ini");
}

}  // namespace

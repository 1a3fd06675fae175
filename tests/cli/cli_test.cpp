#include <gtest/gtest.h>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

TEST(Cli, HelpListsUsageAndVersionPrintsIt) {
  auto help = run_halvaro({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage"), std::string::npos) << help.out;

  auto version = run_halvaro({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("halvaro ", 0), 0u) << version.out;
}

TEST(Cli, UnknownSubcommandFailsWithMessage) {
  auto result = run_halvaro({"frobnicate"}, ErrorOutput::merged);
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.out.find("frobnicate"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace halvaro::test

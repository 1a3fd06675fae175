#pragma once
// A folder of the test's own in the temporary folder, removed afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/process.h"

namespace halvaro::platform::test {

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code error;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = temporary_folder(error) /
              ("halvaro-platform-" + std::to_string(process_id()) + "-" + info->name());
    ASSERT_FALSE(error) << error.message();
    std::filesystem::remove_all(folder_, error);
    ASSERT_TRUE(std::filesystem::create_directories(folder_));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

}  // namespace halvaro::platform::test

// Every test program of the battery and the engine starts the toolkit's base library, which the
// worker threads need.
#include <gtest/gtest.h>
#include <wx/init.h>

namespace {

class WxBaseEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(wxInitialize()); }
  void TearDown() override { wxUninitialize(); }
};

::testing::Environment* const wxBaseEnvironment = ::testing::AddGlobalTestEnvironment(new WxBaseEnvironment);

}  // namespace

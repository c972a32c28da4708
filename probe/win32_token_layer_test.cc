#include <gtest/gtest.h>
#include <windows.h>

#include "probe/admin_check.h"
#include "probe/platform_token_layer.h"

namespace tolvane::probe {
namespace {

// The security interface itself: the test runs as an administrator (Wine's
// default user), with its thread impersonating itself or not.
TEST(Win32TokenLayerTest, FindsTheAdministratorThroughEitherToken) {
  for (const bool impersonating : {false, true}) {
    SCOPED_TRACE(impersonating ? "thread token" : "process token");
    if (impersonating) {
      ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
    }
    PlatformTokenLayer layer;
    TokenHandle token = nullptr;
    EXPECT_EQ(static_cast<ErrorCode>(layer.OpenThreadToken(&token)),
              impersonating ? kErrorSuccess : kErrorNoToken);
    if (token != nullptr) layer.CloseToken(token);
    EXPECT_EQ(AmIAdministrator(layer), 1);
    if (impersonating) ::RevertToSelf();
  }
}

}  // namespace
}  // namespace tolvane::probe

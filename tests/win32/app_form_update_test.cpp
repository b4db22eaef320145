// The main window's update check against a service on this machine: the notifications item, and
// a service that misbehaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app_form_fixture.h"
#include "loopback_server.h"
#include "modal_script.h"
#include "windows/newversion.h"
#include "platform/win32/win32_system.h"
#include "util/text.h"

namespace quillet {
namespace {

// Points the program's update check at address while it lives, then puts back the address the
// test run set (a closed port on this machine).
class ServiceAddressForTest {
 public:
  explicit ServiceAddressForTest(const std::wstring& address) : saved_(EnvironmentVariable("QUILLET_SERVICE_ADDRESS")) {
    SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", address.c_str());
  }
  ~ServiceAddressForTest() {
    SetEnvironmentVariableW(L"QUILLET_SERVICE_ADDRESS", saved_.empty() ? nullptr : Widen(saved_).c_str());
  }
  ServiceAddressForTest(const ServiceAddressForTest&) = delete;
  ServiceAddressForTest& operator=(const ServiceAddressForTest&) = delete;

 private:
  std::string saved_;
};

// The main window's fixture under a suite name of this file's own, so its ctest entry runs
// exactly these tests.
class AppFormUpdateTest : public AppFormTest {};

// The update check against a closed port on this machine: it fails quietly, the menu item
// becomes usable, and its choice reaches the update key and the next start.
TEST_F(AppFormUpdateTest, UpdateNotificationsItemBecomesUsableWhenTheCheckEnds) {
  const ServiceAddressForTest closedPort(L"127.0.0.1:9/quillet-test");
  auto startWithCheck = [&] {
    form_.reset();
    AppFormArgs args = TestArgs();
    args.startUpdateCheck = true;
    form_ = std::make_unique<TAppForm>(std::move(args));
    form_->Create();
    testing::PumpUntil([&] { return !UpdateItemGrayed(); }, 15000);
  };
  startWithCheck();
  ASSERT_FALSE(UpdateItemGrayed()) << "the check did not end";
  EXPECT_TRUE(MenuChecked(IDM_UPDATENOTIFICATIONS1));
  EXPECT_FALSE(FindWindowW(QUILLET_NEWVER_CLASS, nullptr));

  Command(IDM_UPDATENOTIFICATIONS1);
  EXPECT_FALSE(MenuChecked(IDM_UPDATENOTIFICATIONS1));
  startWithCheck();  // the next start reads ShowUpdate 0
  ASSERT_FALSE(UpdateItemGrayed());
  EXPECT_FALSE(MenuChecked(IDM_UPDATENOTIFICATIONS1));
  Command(IDM_UPDATENOTIFICATIONS1);  // back on for the tests after this one
  EXPECT_TRUE(MenuChecked(IDM_UPDATENOTIFICATIONS1));
}


// A service that misbehaves never brings the program down and never raises a notice: the check
// ends quietly and the notifications item becomes usable.
TEST_F(AppFormUpdateTest, AMisbehavingServiceEndsTheCheckQuietly) {
  const std::string offer = "<version>3.2</version>\r\n<url>https://example.com/</url>\r\n\r\n<result>1</result>\r\n";
  std::string garbage(10 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 24);
  struct Case {
    const char* name;
    testing::CannedReply reply;
  };
  const std::vector<Case> cases = {
      {"an offer with status 500", {testing::HttpResponse("500 Internal Server Error", "", offer), false, true}},
      {"10 MB of garbage", {testing::HttpResponse("200 OK", "Content-Type: text/plain; charset=utf-8\r\n", garbage), false, true}},
      {"invalid UTF-8", {testing::HttpResponse("200 OK", "", "\xFF\xFE\xC0\x80<version>\xED\xA0\x80</version>"), false, true}},
      {"the connection dropped", {"", false, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::LoopbackServer server(c.reply);
    const ServiceAddressForTest misbehaving(Widen(server.Address("")));
    form_.reset();
    AppFormArgs args = TestArgs();
    args.startUpdateCheck = true;
    form_ = std::make_unique<TAppForm>(std::move(args));
    form_->Create();
    testing::PumpUntil([&] { return !UpdateItemGrayed(); }, 20000);
    EXPECT_FALSE(UpdateItemGrayed()) << "the check did not end";
    // The tick that makes the item usable is the one that would make the notice.
    EXPECT_FALSE(FindWindowW(QUILLET_NEWVER_CLASS, nullptr));
    form_.reset();
  }
}

}  // namespace
}  // namespace quillet

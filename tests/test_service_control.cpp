// The service operations against the real service manager: a service of this
// very program is created, started, found by its program, stopped and deleted.
#include <windows.h>

#include <string>

#include "common/service_control.h"
#include "support/system_state.h"
#include "support/test_env.h"
#include "support/test_service.h"

class ServiceControl : public BrackmoorTest {
protected:
    void TearDown() override
    {
        RemoveTestServices();
        BrackmoorTest::TearDown();
    }
};

TEST_F(ServiceControl, ServicesAreFoundByProgramStateAndStopped)
{
    const std::string command = TestServiceImage(ThisProgram());
    ASSERT_TRUE(CreateTestService("BmTestSvc", "Bm Test Service", command));
    EXPECT_EQ((SERVICE_STOPPED << 16) | SERVICE_WIN32_OWN_PROCESS, QueryServiceState("BM TEST SERVICE"));
    for (const char *unknown : {"No Such Bm Service", "", "BmTestSvc"})
        EXPECT_EQ(0, QueryServiceState(unknown)) << unknown;
    EXPECT_TRUE(StartTestService("BmTestSvc"));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, WaitTestServiceState("BmTestSvc", SERVICE_RUNNING));
    EXPECT_EQ(SERVICE_RUNNING, QueryServiceState("Bm Test Service") >> 16);
    EXPECT_EQ(1, StopServiceByName("Bm Test Service"));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, WaitTestServiceState("BmTestSvc", SERVICE_STOPPED));
    EXPECT_EQ(SERVICE_STOPPED, QueryServiceState("Bm Test Service") >> 16);
    EXPECT_EQ(0, StopServiceByName("Bm Test Service")) << "a stopped service refuses the request";
    const char *finds[][2] = {{command.c_str(), "Bm Test Service"}, {"C:\\bm\\other.exe", ""}};
    for (size_t i = 0; i < sizeof(finds) / sizeof(finds[0]); i++) {
        char out[64 + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(finds[i][1][0] ? 1 : 0, FindServiceOfProgram(finds[i][0], out, 64)) << "row " << i;
        EXPECT_STREQ(finds[i][1], out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, 64)) << "row " << i;
    }
}

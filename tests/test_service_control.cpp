// The service operations against the real service manager: a service of this
// very program is created, started, found by its program, stopped and deleted.
#include <windows.h>

#include <string.h>

#include <memory>
#include <string>

#include "common/service_control.h"
#include "support/system_state.h"
#include "support/test_env.h"

// Started by the service manager with this switch, the test program is a
// service that runs until it is told to stop.
static const char kServiceSwitch[] = "--bm-test-service";
static SERVICE_STATUS_HANDLE gServiceHandle;
static HANDLE gServiceStop;

static void ReportServiceState(DWORD state)
{
    SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
    SetServiceStatus(gServiceHandle, &status);
}

static void WINAPI TestServiceControl(DWORD control)
{
    if (control == SERVICE_CONTROL_STOP)
        SetEvent(gServiceStop);
}

static void WINAPI TestServiceMain(DWORD, LPSTR *)
{
    gServiceHandle = RegisterServiceCtrlHandlerA("BmTestSvc", TestServiceControl);
    ReportServiceState(SERVICE_RUNNING);
    WaitForSingleObject(gServiceStop, 120000);
    ReportServiceState(SERVICE_STOPPED);
}

int gHelperRole = [] {
    if (strstr(GetCommandLineA(), kServiceSwitch)) {
        gServiceStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "BmTestSvc", TestServiceMain}, {NULL, NULL}};
        StartServiceCtrlDispatcherA(table);
        ExitProcess(0);
    }
    return 0;
}();

// A service of this very program, created for the test and deleted after it.
TEST_F(BrackmoorTest, ServicesAreFoundByProgramStateAndStopped)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service = NULL;
    ASSERT_NE(nullptr, manager);
    auto waitFor = [&](DWORD state) {
        SERVICE_STATUS status = {};
        for (int i = 0; i < 200 && !(QueryServiceStatus(service, &status) && status.dwCurrentState == state); i++)
            Sleep(50);
        return status.dwCurrentState;
    };
    auto removeAll = [&] {
        SERVICE_STATUS status;
        if (!(service = OpenServiceA(manager, "BmTestSvc", SERVICE_ALL_ACCESS)))
            return;
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            waitFor(SERVICE_STOPPED);
        DeleteService(service);
        CloseServiceHandle(service);
    };
    removeAll();
    std::shared_ptr<void> cleanup(nullptr, [&](void *) {
        removeAll();
        CloseServiceHandle(manager);
    });
    std::string image = ThisProgram(), command = "\"" + image + "\" " + kServiceSwitch;
    service = CreateServiceA(manager, "BmTestSvc", "Bm Test Service", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                             SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, command.c_str(), 0, 0, 0, 0, 0);
    ASSERT_NE(nullptr, service);
    EXPECT_EQ((SERVICE_STOPPED << 16) | SERVICE_WIN32_OWN_PROCESS, QueryServiceState("BM TEST SERVICE"));
    for (const char *unknown : {"No Such Bm Service", "", "BmTestSvc"})
        EXPECT_EQ(0, QueryServiceState(unknown)) << unknown;
    EXPECT_TRUE(StartServiceA(service, 0, NULL));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, waitFor(SERVICE_RUNNING));
    EXPECT_EQ(SERVICE_RUNNING, QueryServiceState("Bm Test Service") >> 16);
    EXPECT_EQ(1, StopServiceByName("Bm Test Service"));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, waitFor(SERVICE_STOPPED));
    EXPECT_EQ(SERVICE_STOPPED, QueryServiceState("Bm Test Service") >> 16);
    EXPECT_EQ(0, StopServiceByName("Bm Test Service")) << "a stopped service refuses the request";
    CloseServiceHandle(service);
    const char *finds[][2] = {{command.c_str(), "Bm Test Service"}, {"C:\\bm\\other.exe", ""}};
    for (size_t i = 0; i < sizeof(finds) / sizeof(finds[0]); i++) {
        char out[64 + kGuardLen];
        FillGuarded(out, sizeof(out));
        EXPECT_EQ(finds[i][1][0] ? 1 : 0, FindServiceOfProgram(finds[i][0], out, 64)) << "row " << i;
        EXPECT_STREQ(finds[i][1], out) << "row " << i;
        EXPECT_TRUE(GuardIntact(out, 64)) << "row " << i;
    }
}


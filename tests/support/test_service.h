// Services made by tests: a test program started by the service manager with
// kServiceRoleSwitch is a service of its own, in the run state its mode asks for,
// until it is told to stop (or a minute has passed). Every service made here is
// stopped (ended if it will not stop) and deleted by RemoveTestServices.
#pragma once
#include <windows.h>
#include <string>

extern const char kServiceRoleSwitch[];

// The run state the service keeps after its start.
enum TestServiceMode {
    SERVICE_MODE_RUN,            // running; stops when told
    SERVICE_MODE_START_PENDING,  // never gets past its start
    SERVICE_MODE_STOP_PENDING,   // running; told to stop, it stays stop-pending
};

// The image path that runs program (a copy of a test program) as a service in mode.
std::string TestServiceImage(const std::string &program, TestServiceMode mode = SERVICE_MODE_RUN);
// Creates (or re-creates) the service; type SERVICE_WIN32_OWN_PROCESS unless a driver
// is asked for. true when the manager made it.
bool CreateTestService(const char *keyName, const char *displayName, const std::string &image,
                       DWORD start = SERVICE_DEMAND_START, DWORD type = SERVICE_WIN32_OWN_PROCESS);
bool StartTestService(const char *keyName);
// Asks the service to stop (whether it does is the test's question).
void SendStop(const char *keyName);
// Waits (bounded) for the service's run state; the state reached.
DWORD WaitTestServiceState(const char *keyName, DWORD state, DWORD ms = 10000);
// The start type the running manager holds for the service; 0xFFFFFFFF when unknown.
DWORD ManagerStartType(const char *keyName);
// Stops (or ends) and deletes one service.
void RemoveTestService(const char *keyName);
// Stops or ends every service made by CreateTestService, and deletes it.
void RemoveTestServices();

// SPDX-License-Identifier: MIT
#include "windows_service.h"

#include <windows.h>

#include <csignal>

namespace nalvexa {

namespace {

// The dispatcher calls back without a context of ours: one service per process.
int g_argc = 0;
char** g_argv = nullptr;
int (*g_program)(int, char**) = nullptr;
SERVICE_STATUS_HANDLE g_handle = nullptr;
SERVICE_STATUS g_status = {};
volatile LONG g_stopAsked = 0;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_status.dwServiceSpecificExitCode = exitCode;
    g_status.dwWaitHint = waitHintMs;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) ++g_status.dwCheckPoint;
    else g_status.dwCheckPoint = 0;
    SetServiceStatus(g_handle, &g_status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        InterlockedExchange(&g_stopAsked, 1);
        Report(SERVICE_STOP_PENDING, NO_ERROR, 5000);
        // The same way in as a console's close: the settings are saved, then the loop ends.
        std::raise(SIGTERM);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR* names)
{
    g_handle = RegisterServiceCtrlHandlerExA(names && names[0] ? names[0] : "", OnControl, nullptr);
    if (!g_handle) return;
    Report(SERVICE_RUNNING);
    int exitCode = g_program(g_argc, g_argv);
    // An end the manager did not ask for (a client's close request) counts
    // as a failure, so that the service's failure actions restart it.
    if (exitCode == 0 && InterlockedCompareExchange(&g_stopAsked, 0, 0) == 0) exitCode = 1;
    Report(SERVICE_STOPPED, static_cast<DWORD>(exitCode));
}

}  // namespace

int RunAsWindowsService(int argc, char** argv, int (*program)(int, char**))
{
    g_argc = argc;
    g_argv = argv;
    g_program = program;
    char unnamed[] = "";  // the manager passes the real name to ServiceMain
    SERVICE_TABLE_ENTRYA table[] = {{unnamed, ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table)) return static_cast<int>(g_status.dwServiceSpecificExitCode);
    // A console program, not a service.
    return -1;
}

}  // namespace nalvexa

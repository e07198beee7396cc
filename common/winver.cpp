#include "common/winver.h"

#include <string.h>

#include "common/text.h"

static int ReadVersion(OSVERSIONINFOEXA *v)
{
    memset(v, 0, sizeof(*v));
    v->dwOSVersionInfoSize = sizeof(*v);
    // GetVersionExA is deprecated in newer SDKs but is exactly what the monitor
    // reports; without a manifest Windows 8.1 answers 6.2, which is still "keeps
    // StartupApproved values".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    int ok = GetVersionExA((OSVERSIONINFOA *)v) != 0;
#pragma GCC diagnostic pop
    return ok;
}

int IsNTPlatform(void)
{
    OSVERSIONINFOEXA v;
    return ReadVersion(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

int IsVistaOrLater(void)
{
    OSVERSIONINFOEXA v;
    return ReadVersion(&v) && v.dwMajorVersion >= 6;
}

int IsStartupApprovedOS(void)
{
    OSVERSIONINFOEXA v;
    return ReadVersion(&v) && v.dwMajorVersion == 6 && v.dwMinorVersion > 1;
}

int GetWindowsVersionName(char *out, size_t cap)
{
    OSVERSIONINFOEXA v;
    CopyText(out, cap, "");
    if (!ReadVersion(&v))
        return 0;
    const char *name = "Windows NT";
    const char *edition = "";
    int workstation = v.wProductType == VER_NT_WORKSTATION;
    int enterprise = (v.wSuiteMask & VER_SUITE_ENTERPRISE) != 0;
    int datacenter = (v.wSuiteMask & VER_SUITE_DATACENTER) != 0;
    if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) {
        name = "Windows 2000";
        edition = workstation ? "" : datacenter ? "Datacenter Server" : enterprise ? "Advanced Server" : "Server";
    } else if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) {
        name = "Windows XP";
        edition = (v.wSuiteMask & VER_SUITE_PERSONAL) ? "Home Edition"
                  : GetSystemMetrics(SM_TABLETPC) ? "Tablet PC Edition" : "";
    } else if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) {
        name = "Windows Server 2003 family,";
        edition = datacenter ? "Datacenter Edition" : enterprise ? "Enterprise Edition"
                  : (v.wSuiteMask & VER_SUITE_BLADE) ? "Web Edition" : "Standard Edition";
    } else if (v.dwMajorVersion == 6) {
        static const char *const names[] = {"Windows Vista", "Windows 7", "Windows 8", "Windows 8.1"};
        name = names[v.dwMinorVersion < 4 ? v.dwMinorVersion : 3];
        edition = workstation ? "" : "Server";
    } else if (v.dwMajorVersion == 4) {
        name = "Windows NT";
        edition = workstation ? "Workstation 4.0" : enterprise ? "Server 4.0, Enterprise Edition" : "Server";
    } else if (v.dwMajorVersion > 6) {
        name = "Windows NT";
    }
    char servicePack[8] = "";
    if (v.wServicePackMajor >= 1 && v.wServicePackMajor <= 3)
        FormatText(servicePack, CAP(servicePack), "SP%u", (unsigned)v.wServicePackMajor);
    FormatText(out, cap, "%s %s %s\r\nMajor = %d  Minor= %d   CSD=%s   Build=%d Product Type %d", name, edition,
               servicePack, (int)v.dwMajorVersion, (int)v.dwMinorVersion, v.szCSDVersion,
               (int)v.dwBuildNumber, (int)v.wProductType);
    return (int)strlen(out);
}

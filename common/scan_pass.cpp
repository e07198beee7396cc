#include "common/scan_pass.h"

void EndScanPass(ScanPass *pass)
{
    if (!pass)
        return;
    DeleteRunList(pass->startup);
    pass->startup = NULL;
}

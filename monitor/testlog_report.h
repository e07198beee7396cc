#pragma once
// The start-of-run report written to the trace log when tracing is configured.
void InitTestLog(void);

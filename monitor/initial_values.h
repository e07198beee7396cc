// Start-up initialisation: first-run keys, install and update handling, the
// system-value copies, Explorer integration, the data move; ends by reading the options.
#pragma once

void GetInitalValues(void);

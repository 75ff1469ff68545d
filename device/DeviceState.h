#pragma once

// The one open instrument port of the process.
extern long g_hDevice;             // descriptor (Windows: handle); -1 while no port is open
extern char g_szDevicePath[512];   // path of the port that passed the identify query; empty while none
extern bool s_bIs300R;             // the connected instrument is the enhanced model; cleared on close

#include "device/DeviceState.h"

long g_hDevice = -1;
char g_szDevicePath[512] = {};
bool s_bIs300R = false;

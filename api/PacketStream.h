#pragma once

// Builds the next 3200-byte sample packet and writes it to the port. Caller holds g_APICriticalSection.
void SendNextPacket();

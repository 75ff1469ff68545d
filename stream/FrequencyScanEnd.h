#pragma once

// After every packet: reports the frequency while a scan runs and ends the scan once the frequency has
// left the range between start and stop, switching the output off as SetFreqScanSine(false, ...) and
// SetFreqScanECG(false) do.
void _UpdateFreqScanIfRequired();

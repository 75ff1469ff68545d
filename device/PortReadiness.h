#pragma once

// Waits until the open port has input for _ReadCOMPort, at most `milliseconds`. True when input is
// waiting; false after the time ran out, and also when no port is open or the port reports a hang-up or
// an error (the full time is then slept, so a caller that loops on it never spins).
bool _WaitCOMPortReadable(unsigned milliseconds);

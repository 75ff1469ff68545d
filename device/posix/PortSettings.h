#pragma once

// Puts a freshly opened port into the raw mode the instrument needs. False when the node is not a
// terminal or refuses the settings.
bool ConfigurePort(int descriptor);

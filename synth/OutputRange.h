#pragma once

// Full scale of the sample scale in force (V): one of the two range values of core/InstrumentFacts.h,
// or the scale of the baseline-reset test.
extern double g_fVoltageRange;

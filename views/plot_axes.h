#pragma once
// The axis arithmetic the framed graphs share (the search spectrum, the
// detection plot, the simulation chart): round steps between labels and the
// labels' text.

#include <string>

namespace views {

// 1, 2 or 5 times a power of ten, the least that is at least `raw`; 1 for a
// step that is not a positive finite number.
double roundAxisStep(double raw);

// The decimals a label of an axis in steps of `step` needs: none for a step
// of 1 or more, one for 0.5, two for 0.05, ...
int axisDecimals(double step);

// A label of an axis in steps of `step`, with the decimals the step needs;
// a value within a billionth of a step of 0 is written as 0, never "-0".
std::string axisText(double v, double step);

}  // namespace views

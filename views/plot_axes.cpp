#include "views/plot_axes.h"

#include <algorithm>
#include <cmath>

#include "base/formatted_text.h"

namespace views {

double roundAxisStep(double raw)
{
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw * (1 - 1e-12))
            return m * magnitude;
    return 10 * magnitude;
}

int axisDecimals(double step) { return std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9))); }

std::string axisText(double v, double step)
{
    if (std::fabs(v) < step * 1e-9)
        v = 0;
    return base::formatText("%.*f", axisDecimals(step), v);
}

}  // namespace views

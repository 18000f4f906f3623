#include "commands/search_plot.h"

#include <map>

#include "base/formatted_text.h"
#include "files/png_image.h"
#include "platform/bitmap.h"
#include "platform/dc.h"
#include "views/detection_plot.h"
#include "views/search_curves.h"

namespace commands {

namespace {

// One curve per pulse length, in the order the lengths first appear; the
// best point's curve and place in it.
views::SpectrumPlotData spectrumData(const SearchPlotInput& in)
{
    views::SpectrumPlotData d;
    const detection::SearchOutcome& o = in.outcome;
    std::map<int32_t, size_t> curveOf;
    for (size_t i = 0; i < o.rows.size(); ++i) {
        const detection::SearchRow& row = o.rows[i];
        auto [at, fresh] = curveOf.try_emplace(row.point.L, d.curves.size());
        if (fresh)
            d.curves.push_back({"L " + std::to_string(row.point.L), {}, {}});
        views::SpectrumCurve& c = d.curves[at->second];
        if (static_cast<int64_t>(i) == o.best) {
            d.bestCurve = static_cast<int32_t>(at->second);
            d.bestPoint = c.x.size();
        }
        // Without periods a point stands at its layout's number (from 1):
        // every layout holds every pulse length once, in grid order.
        c.x.push_back(in.periods ? row.point.period : static_cast<double>(c.x.size() + 1));
        c.y.push_back(row.statistic);
    }
    d.xLabel = in.periods ? "period (samples)" : "layout (Tmin/Tmax pair)";
    d.yLabel = in.request.score == detection::ScoreKind::Correlation
                   ? "statistic: the chosen count's excess, snr - null"
                   : "statistic: the energy's excess over noise, in standard deviations";
    d.title = " search on " + in.file + ": " + std::to_string(o.rows.size()) + " grid points, " + in.scoreText + " ";
    if (o.best >= 0) {
        const detection::SearchRow& b = o.rows[static_cast<size_t>(o.best)];
        d.bestLabel = (in.periods ? "period " + base::shortestText(b.point.period)
                                  : "Tmin " + std::to_string(b.point.Tmin) + ", Tmax " + std::to_string(b.point.Tmax)) +
                      ", L " + std::to_string(b.point.L) + ": " + std::to_string(b.count) + " pulses";
        d.info.push_back(base::formatText(" best: Tmin %d, Tmax %d, pulse length %d, %d pulses, statistic %.3f",
                                          b.point.Tmin, b.point.Tmax, b.point.L, b.count, b.statistic));
    }
    return d;
}

}  // namespace

bool writeSearchPlot(const std::string& path, int width, int height, const SearchPlotInput& in, std::string& error)
{
    platform::Bitmap picture = platform::makeBitmap(width, height);
    platform::Dc dc(picture);
    const int32_t spectrumBottom = height * 2 / 5;
    views::drawSpectrumPlot(dc, {8, 8, width - 8, spectrumBottom}, spectrumData(in));

    const detection::SearchOutcome& o = in.outcome;
    if (o.best < 0)
        return files::writePngFile(path, picture, error);
    const detection::SearchRow& best = o.rows[static_cast<size_t>(o.best)];
    const int64_t N = static_cast<int64_t>(in.prepared.samples.size());
    views::DetectionPlotData d;
    d.info.push_back(
        base::formatText(" the best point's detection: %lld samples, pulse length %d, Tmin %d, Tmax %d; "
                         "found %zu pulses (admissible counts %d to %d)",
                         static_cast<long long>(N), best.point.L, best.point.Tmin, best.point.Tmax,
                         o.bestOutcome.positions.size(), o.bestOutcome.fromCount, o.bestOutcome.toCount));
    d.samples = in.prepared.samples;
    if (in.data.times.size() == in.prepared.samples.size())
        d.times = in.data.times;
    d.pulseLength = best.point.L;
    d.starts = o.bestOutcome.positions;
    if (!in.data.times.empty())
        d.axisLabel = in.data.timeName;
    const int32_t split = spectrumBottom + (height - spectrumBottom) * 11 / 20;
    views::drawDetectionPlot(dc, {8, spectrumBottom + 8, width - 8, split}, d);

    views::DetectionPlotData zoom = d;
    zoom.info = {" the first pulses"};
    const views::SampleRange range = views::detectionZoomRange(d.starts, d.pulseLength, N);
    zoom.from = range.from;
    zoom.to = range.to;
    views::drawDetectionPlot(dc, {8, split + 8, width - 8, height - 8}, zoom);
    return files::writePngFile(path, picture, error);
}

}  // namespace commands

#include "commands/detect_plot.h"

#include "files/png_image.h"
#include "platform/bitmap.h"
#include "platform/dc.h"
#include "base/formatted_text.h"
#include "views/detection_plot.h"

namespace commands {

bool writeDetectPlot(const std::string& path, int width, int height, const DetectPlotInput& in, std::string& error)
{
    const detection::DetectionOutcome& o = in.outcome;
    const int64_t N = static_cast<int64_t>(in.prepared.samples.size());
    platform::Bitmap picture = platform::makeBitmap(width, height);
    platform::Dc dc(picture);

    views::DetectionPlotData d;
    d.title = " detection on " + in.file + ": " + in.taskText + ", " + in.scoreText + " ";
    d.info.push_back(base::formatText(" %lld samples, pulse length %d, Tmin %d, Tmax %d; %s", static_cast<long long>(N),
                                      in.request.L, in.request.Tmin, in.request.Tmax, in.scoreText.c_str()));
    d.info.push_back(
        base::formatText(" found %zu pulses (admissible counts %d to %d)", o.positions.size(), o.fromCount, o.toCount));
    d.samples = in.prepared.samples;
    if (in.data.times.size() == in.prepared.samples.size())
        d.times = in.data.times;
    d.pulseLength = in.request.L;
    d.starts = o.positions;
    if (!in.data.times.empty())
        d.axisLabel = in.data.timeName;

    const int32_t split = height * 3 / 5;
    views::drawDetectionPlot(dc, {8, 8, width - 8, split}, d);

    views::DetectionPlotData zoom = d;
    zoom.title.clear();
    zoom.info = {" the first pulses"};
    const views::SampleRange range = views::detectionZoomRange(d.starts, d.pulseLength, N);
    zoom.from = range.from;
    zoom.to = range.to;
    views::drawDetectionPlot(dc, {8, split + 8, width - 8, height - 8}, zoom);
    return files::writePngFile(path, picture, error);
}

}  // namespace commands

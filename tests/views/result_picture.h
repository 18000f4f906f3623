#pragma once
// The processing result of an 800 x 600 view over a series of 1200 samples,
// shared by the tests of the result view and of its zoomed plots.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "detection/pulse_count_ranking.h"
#include "synthesis/synthesis_fixture.h"
#include "views/processing_result_view.h"

namespace viewtest {

constexpr int32_t kLH = 12;
// An 800 x 600 view: Hu = 396, m = 9, x0 = 19, W = 640, H = 96 (95 made even).
inline const views::ViewFrame kFrame{{10, 10, 809, 609}, kLH};
constexpr int32_t kX0 = 19, kW = 640, kH = 96;
constexpr int32_t kYA = 59, kYB = 167, kYD = 275;

// A protocol of the given task and series type whose row i holds `rows[i]`.
inline detection::StepwiseProtocolPtr protocolOf(uint16_t task, uint16_t seriesType,
                                                 const std::vector<std::vector<int16_t>>& rows,
                                                 std::vector<int32_t> criteria = {})
{
    detection::StepwiseProtocolPtr p = detection::getStepwiseProtocol(7, 40, nullptr);
    base::MessageRecorder m;
    detection::addTolpStepwiseProtocol(m, seriesType, task, p.get());
    for (size_t i = 0; i < rows.size(); ++i) {
        const int32_t v = i < criteria.size() ? criteria[i] : 1000 + static_cast<int32_t>(i);
        EXPECT_EQ(detection::appendProtocolRow(p.get(), static_cast<uint16_t>(rows[i].size()), v, v, 1, 2, rows[i]), 1);
    }
    return p;
}

struct ResultPicture {
    SynthesisFixture fx;
    base::MessageRecorder messages;
    std::vector<uint16_t> required{1, 3};
    detection::StepwiseProtocolPtr protocol;
    detection::PulseCountTablePtr table;
    detection::DetectionStudyPtr study;
    std::vector<int32_t> chain;
    int32_t details = 0;
    platform::Bitmap picture = platform::makeBitmap(840, 640);

    explicit ResultPicture(uint16_t K = 14)
    {
        EXPECT_TRUE(fx.make(1200, K));
        fx.noise(25);
    }
    synthesis::SeriesHeader& series() { return *fx.series; }
    // Row i holds the first 3 + i true positions.
    void growingRows(uint16_t task, uint16_t seriesType, int count)
    {
        std::vector<std::vector<int16_t>> rows;
        for (int i = 0; i < count; ++i)
            rows.emplace_back(series().lpPositions.begin(), series().lpPositions.begin() + 3 + i);
        protocol = protocolOf(task, seriesType, rows);
    }
    // Blind detection on a series of unknown count, as the window runs it.
    void blindDetection(uint16_t method = detection::kPrimitiveMethod)
    {
        synthesis::SeriesHeader& s = series();
        protocol = detection::getStepwiseProtocol(7, s.wMaxPulses, nullptr);
        detection::addTolpStepwiseProtocol(messages, detection::seriesUnknownWhole, detection::taskBlindDetection,
                                           protocol.get());
        table = detection::getPulseCountTable(14, s.wMinPulses, s.wMaxPulses, nullptr);
        study = detection::getDetectionStudy(s, nullptr);
        study->wTask = detection::taskBlindDetection;
        study->wDetectionMethod = method;
        chain.assign(1200, 0);
        detection::runUnfixedDetection(messages, 40, 181, false, chain, protocol.get(), table.get(), study.get(), s);
        messages.messages.clear();
    }
    // What the window hands the view; the range left as it comes when none is given.
    views::ProcessingResultInput input(std::optional<views::SampleRange> range = {}, views::ShownPlots* shown = nullptr)
    {
        views::ProcessingResultInput in;
        in.frame = kFrame;
        in.protocol = protocol.get();
        in.pulseCountTable = table.get();
        in.detectionStudy = study.get();
        in.typeMoreDetails = details;
        in.chainTotals = chain;
        in.activeEtalons = static_cast<uint16_t>(required.size());
        in.requiredList = required;
        in.series = fx.series.get();
        if (range)
            in.range = *range;
        in.shownPlots = shown;
        return in;
    }
    void draw()
    {
        platform::Dc dc(picture);
        views::DrawProcessingResult(dc, messages, input());
    }
    // The left column of the dotted frame of a pulse starting at p, in a plot at y.
    platform::Color markAt(int32_t y, int16_t p) const
    {
        return platform::pixelAt(picture, kX0 + p * kW / 1199, y + kH - kH / 8);
    }
};

}  // namespace viewtest

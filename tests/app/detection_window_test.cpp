// A researcher's series in the real window under the offscreen platform:
// File > Open... of a 100,000-sample CSV offers only the detection view and
// opens it; Detection > Detect... with a known count runs on the worker and
// frames every pulse of the series; the wheel zooms the detail and the
// status bar reads out the pulse under the mouse. A short series is still
// offered to the workbench.

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "detect_dialog.h"
#include "detection_window.h"
#include "open_series_dialog.h"
#include "qt_dialogs.h"
#include "resources/command_ids.h"
#include "resources/dialogs.h"
#include "tests/files/files_test_support.h"
#include "window_fixture.h"

namespace {

using namespace resources;

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 30000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds)
        QTest::qWait(5);
    return condition();
}

// A CSV of n rows "t,x": noise of sigma 1 (a fixed LCG) and boxes of height
// 8, 20 samples long, starting every 250 samples from 100.
std::string boxesCsv(size_t n)
{
    std::string text = "t,x\n";
    uint32_t state = 12345;
    char line[64];
    for (size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 3.4;
        const bool box = i >= 100 && (i - 100) % 250 < 20;
        std::snprintf(line, sizeof line, "%.3f,%.3f\n", 0.004 * static_cast<double>(i), noise + (box ? 8 : 0));
        text += line;
    }
    return text;
}

// The window with its modal boxes answered as they open: the file dialog
// with `path`, the Open Series box with the target (its state kept for the
// test), the Detect dialog with `detect`, the workbench's preparation
// dialog with OK.
struct OpeningWindow : ShownWindow {
    files_test::ScratchDir folder;
    std::string path;
    qt_window::OpenSeriesDialog::Target target = qt_window::OpenSeriesDialog::DetectionView;
    bool workbenchOffered = false;
    int choices = 0;
    std::function<void(qt_window::DetectDialog&)> detect;
    QTimer answerer;

    OpeningWindow()
    {
        QObject::connect(&answerer, &QTimer::timeout, [this] { answer(); });
        answerer.start(5);
    }
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            files->selectFile(QString::fromStdString(path));
            static_cast<QDialog*>(files)->accept();
        } else if (auto* o = dynamic_cast<qt_window::OpenSeriesDialog*>(modal)) {
            ++choices;
            workbenchOffered = o->findChild<QRadioButton*>("workbenchSeries")->isEnabled();
            o->findChild<QRadioButton*>(target == qt_window::OpenSeriesDialog::DetectionView ? "detectionView"
                                                                                             : "workbenchSeries")
                ->click();
            QTest::mouseClick(o->findChild<QWidget*>("openSeriesOk"), Qt::LeftButton);
        } else if (auto* d = dynamic_cast<qt_window::DetectDialog*>(modal)) {
            if (detect)
                detect(*d);
            QTest::mouseClick(d->findChild<QWidget*>("detectOk"), Qt::LeftButton);
        } else if (auto* t = dynamic_cast<qt_window::TemplateDialog*>(modal)) {
            QTest::mouseClick(t->control(platform::kIdOk), Qt::LeftButton);
        }
    }
    void open(const std::string& name, size_t rows)
    {
        path = folder.file(name);
        const std::string text = boxesCsv(rows);
        files_test::writeAll(path, std::vector<uint8_t>(text.begin(), text.end()));
        window.runCommand(IdOpen);
        settle();
    }
};

void send(QWidget& on, QEvent&& event)
{
    QApplication::sendEvent(&on, &event);
    ShownWindow::settle();
}

}  // namespace

TEST(DetectionWindow, OpensALongCsvDetectsAKnownCountZoomsAndReadsOut)
{
    OpeningWindow w;
    ASSERT_TRUE(w.started);
    w.open("long.csv", 100'000);
    ASSERT_EQ(w.choices, 1);
    EXPECT_FALSE(w.workbenchOffered) << "100,000 samples do not fit the workbench's records";
    ASSERT_EQ(w.window.detectionWindows().size(), 1u);
    qt_window::DetectionWindow& view = *w.window.detectionWindows().front();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.view().data.values.size(), 100'000u);
    EXPECT_EQ(w.state().lpSeriesHeader->dwSeriesSize, 1200u) << "the workbench keeps its series";

    // 400 boxes 250 samples apart: a known count.
    w.detect = [](qt_window::DetectDialog& d) {
        d.findChild<QRadioButton*>("taskKnown")->click();
        d.findChild<QSpinBox*>("pulses")->setValue(400);
        d.findChild<QSpinBox*>("tmin")->setValue(200);
        d.findChild<QSpinBox*>("tmax")->setValue(300);
        d.findChild<QSpinBox*>("pulseLength")->setValue(20);
    };
    view.menuAction(IdDetectionDetect)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !view.detectionRunning(); }));
    ASSERT_TRUE(view.view().result.has_value()) << view.statusText().toStdString();
    const std::vector<int32_t>& found = view.view().result->outcome.positions;
    ASSERT_EQ(found.size(), 400u);
    for (size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(found[k], 100 + 250 * static_cast<int32_t>(k), 2) << k;
    EXPECT_TRUE(view.statusText().startsWith("Detection: 400 pulses found")) << view.statusText().toStdString();
    EXPECT_TRUE(w.messages.empty());

    // The detail shows the first pulses; the wheel over it zooms in around the mouse.
    view.canvas().repaint();
    const views::DetectionViewLayout& l = view.view().layout;
    ASSERT_TRUE(l.drawable);
    const views::SampleRange before = views::shownSamples(view.view().detail, 100'000);
    const QPoint middle((l.detail.x0 + l.detail.x1) / 2, (l.detail.y0 + l.detail.y1) / 2);
    send(view.canvas(), QWheelEvent(middle, view.canvas().mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                                    Qt::NoModifier, Qt::NoScrollPhase, false));
    const views::SampleRange after = views::shownSamples(view.view().detail, 100'000);
    EXPECT_LT(after.to - after.from, before.to - before.from);
    EXPECT_TRUE(after.from >= before.from && after.to <= before.to);

    // Over the third pulse's frame the status bar reads it out.
    view.canvas().repaint();
    const views::DetectionPlotLayout& detail = view.view().layout.detail;
    const int64_t n = detail.to - detail.from;
    bool readOut = false;
    for (size_t k = 0; k < found.size() && !readOut; ++k) {
        if (found[k] < detail.from || found[k] + 10 >= detail.to)
            continue;
        const int32_t x = detail.x0 + 1 + views::detectionPlotColumn(found[k] + 10 - detail.from, n, detail.W);
        const QPoint at(x, (detail.y0 + detail.y1) / 2);
        send(view.canvas(), QMouseEvent(QEvent::MouseMove, at, view.canvas().mapToGlobal(at), Qt::NoButton,
                                        Qt::NoButton, Qt::NoModifier));
        const std::string status = view.statusText().toStdString();
        EXPECT_NE(status.find("; pulse " + std::to_string(k + 1) + ": start " + std::to_string(found[k])),
                  std::string::npos)
            << status;
        EXPECT_NE(status.find("amplitude"), std::string::npos);
        EXPECT_NE(status.find("SNR"), std::string::npos);
        readOut = true;
    }
    EXPECT_TRUE(readOut) << "a pulse stands in the zoomed detail";
}

TEST(DetectionWindow, ASeriesTheWorkbenchHoldsIsOfferedToBoth)
{
    OpeningWindow w;
    ASSERT_TRUE(w.started);
    w.target = qt_window::OpenSeriesDialog::WorkbenchSeries;
    w.open("short.csv", 3000);
    ASSERT_EQ(w.choices, 1);
    EXPECT_TRUE(w.workbenchOffered);
    EXPECT_TRUE(w.window.detectionWindows().empty());
    EXPECT_EQ(w.state().lpSeriesHeader->dwSeriesSize, 3000u) << "the workbench's series is the file's";
    EXPECT_TRUE(w.state().seriesFromFile);

    w.target = qt_window::OpenSeriesDialog::DetectionView;
    w.open("short.csv", 3000);
    EXPECT_EQ(w.window.detectionWindows().size(), 1u);
}

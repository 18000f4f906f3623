#include "simulation_progress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qt_window {

namespace {

// The bar counts in thousandths: a run may hold more series than an int.
constexpr int kBarSteps = 1000;

QString count(uint64_t n) { return QLocale(QLocale::English).toString(static_cast<qulonglong>(n)); }

}  // namespace

QString timeLeftText(double elapsedSeconds, uint64_t done, uint64_t total)
{
    if (done >= total)
        return "Finishing";
    if (done == 0 || elapsedSeconds <= 0)
        return "Estimating the time left";
    const double left = elapsedSeconds * static_cast<double>(total - done) / static_cast<double>(done);
    const long long seconds = std::llround(std::ceil(left));
    if (seconds < 60)
        return QString("About %1 s left").arg(seconds);
    if (seconds < 3600)
        return QString("About %1 min %2 s left").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    return QString("About %1 h %2 min left").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QChar('0'));
}

ProgressWording simulationWording()
{
    return {"Statistical Simulation", "Starting the simulation",
            [](uint64_t done, uint64_t total) {
                return QString("Series %1 of %2 simulated").arg(count(done), count(total));
            },
            "Cancelling: the series under way are finished first"};
}

ProgressWording detectionWording()
{
    return {"Detect", "Starting the detection",
            [](uint64_t done, uint64_t total) {
                const double share = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 0.0;
                return QString("Detecting: %1 % of the work done").arg(std::min(share, 100.0), 0, 'f', 1);
            },
            "Cancelling: the detection stops at its next report"};
}

SimulationProgressDialog::SimulationProgressDialog(QWidget* owner, ProgressWording wording)
    : QDialog(owner), wording_(std::move(wording))
{
    setObjectName("simulationProgress");
    setWindowTitle(wording_.title);
    setModal(false);

    series_ = new QLabel(wording_.starting);
    series_->setObjectName("progressSeries");
    time_ = new QLabel("Estimating the time left");
    time_->setObjectName("progressTime");
    bar_ = new QProgressBar;
    bar_->setRange(0, kBarSteps);
    bar_->setValue(0);
    bar_->setTextVisible(true);
    bar_->setMinimumWidth(360);
    cancel_ = new QPushButton("Cancel");
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { askCancel(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(series_);
    column->addWidget(bar_);
    column->addWidget(time_);
    column->addLayout(buttons);
    setFixedSize(sizeHint());
    clock_.start();
}

void SimulationProgressDialog::showProgress(uint64_t done, uint64_t total)
{
    if (cancelAsked_)
        return;
    series_->setText(wording_.report(done, total));
    bar_->setValue(total ? static_cast<int>(kBarSteps * static_cast<double>(done) / static_cast<double>(total)) : 0);
    time_->setText(timeLeftText(static_cast<double>(clock_.elapsed()) / 1000.0, done, total));
}

QString SimulationProgressDialog::seriesText() const { return series_->text(); }
QString SimulationProgressDialog::timeText() const { return time_->text(); }

void SimulationProgressDialog::askCancel()
{
    if (cancelAsked_)
        return;
    cancelAsked_ = true;
    cancel_->setEnabled(false);
    time_->setText(wording_.cancelling);
    if (onCancel)
        onCancel();
}

// Escape asks the run to stop; the box stays until the run has ended.
void SimulationProgressDialog::reject() { askCancel(); }

void SimulationProgressDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    askCancel();
}

}  // namespace qt_window

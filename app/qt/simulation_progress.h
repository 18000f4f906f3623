#pragma once
// The box that stands over a window while a long computation runs: the
// statistical simulation (series done of all) or a detection on a
// researcher's series (its work done), the time left at the pace so far, a
// bar and Cancel. It is not modal: the window keeps repainting and its menu keeps
// answering (the window itself refuses what would touch the simulation).
// Cancel, Escape and the box's own close button all ask the run to stop; the
// box stays, saying so, until the window closes it when the run has ended.

#include <QDialog>
#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qt_window {

// What the box says: its title, its first line, the line for a report of
// done of total, and what it says once Cancel is pressed.
struct ProgressWording {
    QString title;
    QString starting;
    std::function<QString(uint64_t done, uint64_t total)> report;
    QString cancelling;
};
// The statistical simulation's: "Series 12 of 2,900 simulated".
ProgressWording simulationWording();
// A detection's: "Detecting: 45.2 % of the work done".
ProgressWording detectionWording();

class SimulationProgressDialog final : public QDialog {
  public:
    explicit SimulationProgressDialog(QWidget* owner, ProgressWording wording = simulationWording());

    // The latest report of the run: series done of the whole.
    void showProgress(uint64_t done, uint64_t total);
    // As the Cancel button: says the run is stopping and calls onCancel,
    // the first time only.
    void askCancel();
    // Called once, on the first Cancel (or Escape, or close).
    std::function<void()> onCancel;
    bool cancelAsked() const { return cancelAsked_; }

    QPushButton* cancelButton() const { return cancel_; }
    QString seriesText() const;
    QString timeText() const;

  protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QLabel* series_ = nullptr;
    QLabel* time_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QElapsedTimer clock_;
    bool cancelAsked_ = false;
    ProgressWording wording_;
};

// "About 1 min 05 s left" at the pace so far (elapsed seconds for done of
// total series); an estimate is given only once some series are done.
QString timeLeftText(double elapsedSeconds, uint64_t done, uint64_t total);

}  // namespace qt_window

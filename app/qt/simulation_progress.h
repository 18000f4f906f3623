#pragma once
// The box that stands over the main window while a statistical simulation
// computes: series done of all, the time left at the pace so far, a bar and
// Cancel. It is not modal: the window keeps repainting and its menu keeps
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

class SimulationProgressDialog final : public QDialog {
  public:
    explicit SimulationProgressDialog(QWidget* owner);

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
};

// "About 1 min 05 s left" at the pace so far (elapsed seconds for done of
// total series); an estimate is given only once some series are done.
QString timeLeftText(double elapsedSeconds, uint64_t done, uint64_t total);

}  // namespace qt_window

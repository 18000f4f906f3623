#pragma once
// File > Open... with a series file in the window: what was read, the
// column or channel to read, and where the series goes. "Workbench series"
// makes it the workbench's series (at most 32,767 samples, prepared in the
// workbench's own dialog next); "Detection view" opens it, of any length,
// in a window of its own where detect's programmes run on it. A series the
// workbench cannot hold leaves only the detection view, and says why.

#include <QDialog>

#include <functional>
#include <string>

#include "files/series_readers.h"

class QButtonGroup;
class QLabel;
class QLineEdit;

namespace qt_window {

class OpenSeriesDialog final : public QDialog {
  public:
    enum Target { WorkbenchSeries = 0, DetectionView = 1 };

    // read: the file as read with no choice (the default column, channel 1).
    // workbenchProblem: why the workbench cannot hold n samples, or empty.
    OpenSeriesDialog(QWidget* owner, std::string path, files::SeriesData read,
                     std::function<std::string(size_t n)> workbenchProblem);

    Target target() const;
    // The column or channel chosen, as readSeriesFile takes it.
    const files::SeriesReadOptions& readOptions() const { return options_; }
    // The series as read from that column or channel (taken by the caller).
    files::SeriesData& data() { return data_; }

  private:
    // The radio buttons and their notes for the series now read.
    void showChoices();
    void pressOk();

    std::string path_;
    files::SeriesData data_;
    files::SeriesReadOptions options_;
    std::function<std::string(size_t n)> workbenchProblem_;
    bool sound_ = false;
    QLabel* source_ = nullptr;
    QLineEdit* column_ = nullptr;
    QButtonGroup* target_ = nullptr;
    QLabel* workbenchNote_ = nullptr;
};

}  // namespace qt_window

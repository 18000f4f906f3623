#include "open_series_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <utility>

#include "qt_dialogs.h"

namespace qt_window {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString count(size_t n) { return QLocale(QLocale::English).toString(static_cast<qulonglong>(n)); }

}  // namespace

OpenSeriesDialog::OpenSeriesDialog(QWidget* owner, std::string path, files::SeriesData read,
                                   std::function<std::string(size_t n)> workbenchProblem)
    : QDialog(owner), path_(std::move(path)), data_(std::move(read)), workbenchProblem_(std::move(workbenchProblem))
{
    setObjectName("openSeriesDialog");
    setWindowTitle("Open Series");
    sound_ = data_.format == files::SeriesFormat::Sound;
    if (sound_)
        options_.channel = 1;

    source_ = new QLabel;
    source_->setObjectName("openSeriesSource");
    source_->setWordWrap(true);
    source_->setTextFormat(Qt::PlainText);
    column_ = new QLineEdit(sound_ ? QString("1") : fromUtf8(data_.columnName));
    column_->setObjectName("openSeriesColumn");

    target_ = new QButtonGroup(this);
    auto* workbench = new QRadioButton("Workbench series");
    workbench->setObjectName("workbenchSeries");
    auto* view = new QRadioButton("Detection view");
    view->setObjectName("detectionView");
    target_->addButton(workbench, WorkbenchSeries);
    target_->addButton(view, DetectionView);
    workbenchNote_ = new QLabel;
    workbenchNote_->setWordWrap(true);
    workbenchNote_->setTextFormat(Qt::PlainText);
    auto* viewNote = new QLabel(
        "A window of its own for a series of any length: the whole series above a detail that zooms, Detection > "
        "Detect... runs quillmore-cli detect's programmes in 64 bits, the pulses export as CSV.");
    viewNote->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(sound_ ? "Channel (from 1):" : "Column (number or header):", column_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("openSeriesOk");
    connect(buttons, &QDialogButtonBox::accepted, this, &OpenSeriesDialog::pressOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(source_);
    column->addLayout(form);
    column->addWidget(workbench);
    column->addWidget(workbenchNote_);
    column->addWidget(view);
    column->addWidget(viewNote);
    column->addWidget(buttons);
    setMinimumWidth(520);
    showChoices();
    target_->button(workbench->isEnabled() ? WorkbenchSeries : DetectionView)->setChecked(true);
}

OpenSeriesDialog::Target OpenSeriesDialog::target() const { return static_cast<Target>(target_->checkedId()); }

void OpenSeriesDialog::showChoices()
{
    source_->setText(fromUtf8(path_ + ": " + data_.source) + QString(" (%1 samples)").arg(count(data_.values.size())));
    const std::string problem = workbenchProblem_ ? workbenchProblem_(data_.values.size()) : std::string();
    QAbstractButton* workbench = target_->button(WorkbenchSeries);
    workbench->setEnabled(problem.empty());
    workbenchNote_->setText(problem.empty()
                                ? QString("The workbench's series: its tasks and views, prepared in the next dialog.")
                                : fromUtf8(problem));
    if (!problem.empty() && workbench->isChecked())
        target_->button(DetectionView)->setChecked(true);
}

void OpenSeriesDialog::pressOk()
{
    const QString typed = column_->text().trimmed();
    files::SeriesReadOptions chosen;
    if (sound_) {
        bool ok = false;
        const int channel = typed.toInt(&ok);
        if (!ok || channel < 1) {
            MessageDialog(this, QString("The channel must be a number from 1, not '%1'.").arg(typed), "Open Series",
                          base::MessageIcon::None)
                .exec();
            return;
        }
        chosen.channel = channel;
    } else {
        chosen.column = typed.toStdString();
    }
    if (chosen.column != options_.column || chosen.channel != options_.channel) {
        files::SeriesReadResult again = files::readSeriesFile(path_, chosen);
        std::string refusal =
            again.ok ? files::seriesChoiceRefusal(path_, again.data, chosen, {"the column", "the channel", " "})
                     : again.error;
        if (!refusal.empty()) {
            MessageDialog(this, fromUtf8(refusal), "Open Series", base::MessageIcon::None).exec();
            return;
        }
        data_ = std::move(again.data);
        options_ = chosen;
        const bool before = target_->button(WorkbenchSeries)->isEnabled();
        showChoices();
        // A new length may have taken the workbench away: the user sees why before going on.
        if (before && !target_->button(WorkbenchSeries)->isEnabled())
            return;
    }
    accept();
}

}  // namespace qt_window

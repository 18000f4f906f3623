#include "detect_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <optional>

#include "detection/correlation_threshold.h"
#include "qt_dialogs.h"
#include "detection/task_codes.h"

namespace qt_window {

namespace {

enum TaskChoice { TaskKnown = 0, TaskUnknown = 1, TaskBlind = 2 };
enum ScoreChoice { ScoreEnergy = 0, ScoreCorrelation = 1 };
enum TemplateChoice { TemplateEtalon = 0, TemplateBox = 1, TemplateFile = 2 };
enum ScaleChoice { ScaleDefault = 0, ScaleAuto = 1, ScaleFactor = 2 };

QSpinBox* countBox(int least, const char* name)
{
    auto* box = new QSpinBox;
    box->setRange(least, INT_MAX);
    box->setObjectName(name);
    box->setGroupSeparatorShown(false);
    return box;
}

QRadioButton* radio(QButtonGroup* group, int id, const QString& text, const char* name)
{
    auto* button = new QRadioButton(text);
    button->setObjectName(name);
    group->addButton(button, id);
    return button;
}

// A real number in the C locale, whatever the user's.
std::optional<double> realNumber(const QString& text)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

}  // namespace

DetectDialog::DetectDialog(QWidget* owner, const commands::DetectOptions& options) : QDialog(owner), base_(options)
{
    setObjectName("detectDialog");
    setWindowTitle("Detect");

    // --- What is found
    task_ = new QButtonGroup(this);
    pulses_ = countBox(1, "pulses");
    method_ = new QComboBox;
    method_->setObjectName("method");
    method_->addItem("0 primitive", detection::kPrimitiveMethod);
    method_->addItem("1 chi-square, known dispersion", detection::kChiSquareKnownDispersion);
    method_->addItem("2 chi-square, unknown dispersion", detection::kChiSquareUnknownDispersion);
    method_->addItem("3 Fisher criterion", detection::kFisherCriterion);
    method_->addItem("4 threshold", detection::kMeanWindowThreshold);
    method_->addItem("6 threshold, known dispersion", detection::kThresholdKnownDispersion);
    noise_ = new QLineEdit;
    noise_->setObjectName("noise");
    noise_->setPlaceholderText("estimated");
    snrMin_ = new QLineEdit;
    snrMin_->setObjectName("snrMin");
    snrMin_->setPlaceholderText("the default: 1 % false pulses in pure noise");
    auto* taskBox = new QGroupBox("What is found");
    auto* taskForm = new QFormLayout(taskBox);
    taskForm->addRow(radio(task_, TaskKnown, "Count known:", "taskKnown"), pulses_);
    taskForm->addRow(radio(task_, TaskUnknown,
                           "Count unknown (the sequential method; with correlations the matched "
                           "filter)",
                           "taskUnknown"));
    taskForm->addRow(radio(task_, TaskBlind, "Blind detection, method:", "taskBlind"), method_);
    taskForm->addRow("Noise level (methods 1 and 6):", noise_);
    taskForm->addRow("Least SNR (methods 0, 1, 2, 6 on correlations):", snrMin_);

    // --- Layout
    tmin_ = countBox(1, "tmin");
    tmax_ = countBox(1, "tmax");
    pulseLength_ = countBox(1, "pulseLength");
    auto* layoutBox = new QGroupBox("Layout, in samples");
    auto* layoutForm = new QFormLayout(layoutBox);
    layoutForm->addRow("Tmin, least distance between starts:", tmin_);
    layoutForm->addRow("Tmax, greatest distance between starts:", tmax_);
    layoutForm->addRow("Pulse length:", pulseLength_);

    // --- Score
    score_ = new QButtonGroup(this);
    templateKind_ = new QComboBox;
    templateKind_->setObjectName("templateKind");
    templateKind_->addItem("etalon", TemplateEtalon);
    templateKind_->addItem("box of width", TemplateBox);
    templateKind_->addItem("template file", TemplateFile);
    etalon_ = new QComboBox;
    etalon_->setObjectName("etalon");
    for (char c = 'a'; c <= 't'; ++c)
        etalon_->addItem(QString(QChar(c)));
    box_ = countBox(1, "box");
    box_->setMaximum(1000000);
    templateFile_ = new QLineEdit;
    templateFile_->setObjectName("templateFile");
    auto* browse = new QPushButton("Browse...");
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getOpenFileName(this, "Template", templateFile_->text());
        if (!chosen.isEmpty())
            templateFile_->setText(chosen);
    });
    auto* templateRow = new QHBoxLayout;
    templateRow->addWidget(templateKind_);
    templateRow->addWidget(etalon_);
    templateRow->addWidget(box_);
    templateRow->addWidget(templateFile_, 1);
    templateRow->addWidget(browse);
    auto* scoreBox = new QGroupBox("Score");
    auto* scoreForm = new QFormLayout(scoreBox);
    scoreForm->addRow(radio(score_, ScoreEnergy, "Window energy", "scoreEnergy"));
    scoreForm->addRow(radio(score_, ScoreCorrelation, "Correlation with:", "scoreCorrelation"), templateRow);

    // --- Preparation
    detrend_ = new QComboBox;
    detrend_->setObjectName("detrend");
    detrend_->addItem("none", static_cast<int>(detection::Detrend::None));
    detrend_->addItem("median", static_cast<int>(detection::Detrend::WholeMedian));
    detrend_->addItem("moving median of", static_cast<int>(detection::Detrend::MovingMedian));
    window_ = countBox(1, "window");
    auto* detrendRow = new QHBoxLayout;
    detrendRow->addWidget(detrend_);
    detrendRow->addWidget(window_);
    detrendRow->addWidget(new QLabel("samples"));
    detrendRow->addStretch(1);
    invert_ = new QCheckBox("Invert: dips become pulses");
    invert_->setObjectName("invert");
    scale_ = new QComboBox;
    scale_->setObjectName("scale");
    scale_->addItem("floating point to 32767, integers kept", ScaleDefault);
    scale_->addItem("auto: the largest magnitude to 32767", ScaleAuto);
    scale_->addItem("factor", ScaleFactor);
    factor_ = new QLineEdit;
    factor_->setObjectName("factor");
    auto* scaleRow = new QHBoxLayout;
    scaleRow->addWidget(scale_);
    scaleRow->addWidget(factor_);
    auto* prepareBox = new QGroupBox("Preparation");
    auto* prepareForm = new QFormLayout(prepareBox);
    prepareForm->addRow("Detrend:", detrendRow);
    prepareForm->addRow(invert_);
    prepareForm->addRow("Scale:", scaleRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("Detect");
    buttons->button(QDialogButtonBox::Ok)->setObjectName("detectOk");
    connect(buttons, &QDialogButtonBox::accepted, this, &DetectDialog::pressOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* column = new QVBoxLayout(this);
    column->addWidget(taskBox);
    column->addWidget(layoutBox);
    column->addWidget(scoreBox);
    column->addWidget(prepareBox);
    column->addWidget(buttons);

    for (QButtonGroup* group : {task_, score_})
        connect(group, &QButtonGroup::idClicked, this, [this] { followChoices(); });
    for (QComboBox* combo : {method_, templateKind_, detrend_, scale_})
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { followChoices(); });
    setOptions(options);
}

void DetectDialog::setOptions(const commands::DetectOptions& o)
{
    base_ = o;
    task_->button(o.pulses ? TaskKnown : o.unknown ? TaskUnknown : TaskBlind)->setChecked(true);
    pulses_->setValue(o.pulses.value_or(10));
    const int method = method_->findData(o.method.value_or(detection::kChiSquareUnknownDispersion));
    method_->setCurrentIndex(std::max(method, 0));
    noise_->setText(o.noise ? QString::number(*o.noise) : QString());
    snrMin_->setText(o.snrMin ? QLocale::c().toString(*o.snrMin, 'g', 17) : QString());
    tmin_->setValue(o.tmin.value_or(40));
    tmax_->setValue(o.tmax.value_or(181));
    pulseLength_->setValue(o.pulseLength.value_or(20));
    score_->button(o.score == "correlation" ? ScoreCorrelation : ScoreEnergy)->setChecked(true);
    templateKind_->setCurrentIndex(o.box ? TemplateBox : o.templateFile ? TemplateFile : TemplateEtalon);
    if (o.etalon && o.etalon->size() == 1 && (*o.etalon)[0] >= 'a' && (*o.etalon)[0] <= 't')
        etalon_->setCurrentIndex((*o.etalon)[0] - 'a');
    box_->setValue(o.box.value_or(20));
    templateFile_->setText(QString::fromStdString(o.templateFile.value_or("")));
    detrend_->setCurrentIndex(detrend_->findData(static_cast<int>(o.prepare.detrend)));
    window_->setValue(o.prepare.window > 0 ? static_cast<int>(std::min<int64_t>(o.prepare.window, INT_MAX)) : 361);
    invert_->setChecked(o.prepare.invert);
    scale_->setCurrentIndex(o.prepare.scale ? ScaleFactor : o.prepare.scaleAuto ? ScaleAuto : ScaleDefault);
    factor_->setText(o.prepare.scale ? QLocale::c().toString(*o.prepare.scale, 'g', 17) : QString("1"));
    followChoices();
}

void DetectDialog::followChoices()
{
    const bool correlation = score_->checkedId() == ScoreCorrelation;
    const int kind = templateKind_->currentData().toInt();
    pulses_->setEnabled(task_->checkedId() == TaskKnown);
    method_->setEnabled(task_->checkedId() == TaskBlind);
    noise_->setEnabled(task_->checkedId() == TaskBlind && detection::takesNoiseLevel(method_->currentData().toInt()));
    snrMin_->setEnabled(task_->checkedId() == TaskBlind && correlation &&
                        detection::takesSnrMin(method_->currentData().toInt()));
    // With a template the pulse is the template's length.
    pulseLength_->setEnabled(!correlation);
    templateKind_->setEnabled(correlation);
    etalon_->setVisible(kind == TemplateEtalon);
    box_->setVisible(kind == TemplateBox);
    templateFile_->setVisible(kind == TemplateFile);
    for (QWidget* w :
         {static_cast<QWidget*>(etalon_), static_cast<QWidget*>(box_), static_cast<QWidget*>(templateFile_)})
        w->setEnabled(correlation);
    window_->setEnabled(detrend_->currentData().toInt() == static_cast<int>(detection::Detrend::MovingMedian));
    factor_->setEnabled(scale_->currentData().toInt() == ScaleFactor);
}

commands::DetectOptions DetectDialog::options() const
{
    commands::DetectOptions o = base_;
    o.pulses.reset();
    o.unknown = false;
    o.method.reset();
    o.noise.reset();
    o.snrMin.reset();
    switch (task_->checkedId()) {
    case TaskKnown:
        o.pulses = pulses_->value();
        break;
    case TaskUnknown:
        o.unknown = true;
        break;
    default:
        o.method = method_->currentData().toInt();
        if (detection::takesNoiseLevel(*o.method) && !noise_->text().trimmed().isEmpty())
            o.noise = noise_->text().trimmed().toLongLong();
        if (snrMin_->isEnabled() && !snrMin_->text().trimmed().isEmpty())
            o.snrMin = realNumber(snrMin_->text());
        break;
    }
    o.tmin = tmin_->value();
    o.tmax = tmax_->value();
    o.pulseLength.reset();
    o.etalon.reset();
    o.box.reset();
    o.templateFile.reset();
    if (score_->checkedId() == ScoreCorrelation) {
        o.score = "correlation";
        switch (templateKind_->currentData().toInt()) {
        case TemplateEtalon:
            o.etalon = etalon_->currentText().toStdString();
            break;
        case TemplateBox:
            o.box = box_->value();
            break;
        default:
            o.templateFile = templateFile_->text().trimmed().toStdString();
            break;
        }
    } else {
        o.score = "energy";
        o.pulseLength = pulseLength_->value();
    }
    o.prepare.detrend = static_cast<detection::Detrend>(detrend_->currentData().toInt());
    o.prepare.window = o.prepare.detrend == detection::Detrend::MovingMedian ? window_->value() : 0;
    o.prepare.invert = invert_->isChecked();
    o.prepare.scale.reset();
    o.prepare.scaleAuto = scale_->currentData().toInt() == ScaleAuto;
    if (scale_->currentData().toInt() == ScaleFactor)
        o.prepare.scale = realNumber(factor_->text()).value_or(0);
    return o;
}

QString DetectDialog::fieldProblem() const
{
    if (tmin_->value() > tmax_->value())
        return QString("Tmin (%1) is above Tmax (%2).").arg(tmin_->value()).arg(tmax_->value());
    if (task_->checkedId() == TaskBlind && detection::takesNoiseLevel(method_->currentData().toInt())) {
        bool ok = true;
        const QString text = noise_->text().trimmed();
        const qlonglong level = text.isEmpty() ? 0 : text.toLongLong(&ok);
        if (!ok || level < 0)
            return QString("The noise level is a whole number from 0, or empty to estimate it; not '%1'.").arg(text);
    }
    if (snrMin_->isEnabled() && !snrMin_->text().trimmed().isEmpty()) {
        const std::optional<double> s = realNumber(snrMin_->text());
        if (!s || !(*s > 0))
            return QString("The least SNR is a positive number, or empty for the default; not '%1'.")
                .arg(snrMin_->text().trimmed());
    }
    if (score_->checkedId() == ScoreCorrelation && templateKind_->currentData().toInt() == TemplateFile &&
        templateFile_->text().trimmed().isEmpty())
        return "Give the template file: a text file of one column, the template's samples.";
    if (scale_->currentData().toInt() == ScaleFactor) {
        const std::optional<double> f = realNumber(factor_->text());
        if (!f || !(*f > 0))
            return QString("The scale factor is a positive number, not '%1'.").arg(factor_->text().trimmed());
    }
    return {};
}

void DetectDialog::pressOk()
{
    if (const QString problem = fieldProblem(); !problem.isEmpty()) {
        MessageDialog(this, problem, "Detect", base::MessageIcon::Warning).exec();
        return;
    }
    accept();
}

}  // namespace qt_window

#pragma once
// The "Detect..." dialog of the detection view: what quillmore-cli detect
// takes besides its file, as fields. The task (a known count, an unknown
// count, blind detection by a threshold method), the layout (Tmin, Tmax,
// the pulse length), the score (window energy or correlation with an
// etalon, a box or a template file) and the preparation (detrend, invert,
// scale). It reads into detect's own options, so that the engine applies
// detect's defaults and refusals; OK refuses only what the fields
// themselves cannot hold.

#include <QDialog>

#include "commands/detect_options.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace qt_window {

class DetectDialog final : public QDialog {
  public:
    // Shows `options` (the view's last detection, or its first offer).
    DetectDialog(QWidget* owner, const commands::DetectOptions& options);

    // The fields as detect's options; meaningful after OK.
    commands::DetectOptions options() const;
    // Shows the options in the fields.
    void setOptions(const commands::DetectOptions& options);

    // The problem OK would refuse the fields with, or empty.
    QString fieldProblem() const;

  private:
    // Enables the fields the choices above them make meaningful.
    void followChoices();
    void pressOk();

    commands::DetectOptions base_;  // what the fields do not show (the read options, the limits) is kept
    QButtonGroup* task_ = nullptr;
    QSpinBox* pulses_ = nullptr;
    QComboBox* method_ = nullptr;
    QLineEdit* noise_ = nullptr;
    QLineEdit* snrMin_ = nullptr;
    QSpinBox* tmin_ = nullptr;
    QSpinBox* tmax_ = nullptr;
    QSpinBox* pulseLength_ = nullptr;
    QButtonGroup* score_ = nullptr;
    QComboBox* templateKind_ = nullptr;
    QComboBox* etalon_ = nullptr;
    QSpinBox* box_ = nullptr;
    QLineEdit* templateFile_ = nullptr;
    QComboBox* detrend_ = nullptr;
    QSpinBox* window_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QComboBox* scale_ = nullptr;
    QLineEdit* factor_ = nullptr;
};

}  // namespace qt_window

#include "template_dialog.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

platform::DialogUnits TemplateDialog::unitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(letters / 26 + 1) / 2, metrics.height()};
}

platform::DialogUnits TemplateDialog::unitsFor(const platform::DialogTemplate& dialog,
                                               const platform::DialogFields& fields, const QFont& font)
{
    platform::DialogUnits units = unitsOf(font);
    const QFontMetrics metrics(font);
    for (const platform::DialogControl& c : dialog.controls) {
        const bool oneLineLabel = c.kind == platform::ControlKind::Static && c.height < 16;
        if (!oneLineLabel && c.kind != platform::ControlKind::GroupBox)
            continue;  // edits scroll, buttons hold a short word, two-line labels wrap
        const auto typed = fields.find(c.id);
        const QString text =
            c.id != platform::kNoControlId && typed != fields.end() ? fromUtf8(typed->second) : QString::fromUtf8(c.text);
        // A group box's title stands in from its frame on both sides.
        const int needed = metrics.horizontalAdvance(text) + (oneLineLabel ? 0 : 2 * units.baseX);
        while (units.toPixelsX(c.width) < needed)
            ++units.baseX;
    }
    return units;
}

TemplateDialog::TemplateDialog(const platform::DialogTemplate& dialog, const platform::DialogFields& fields,
                               QWidget* owner, QWidget* clientArea, platform::DialogValidator validate)
    : QDialog(owner), validate_(std::move(validate)), units_(unitsFor(dialog, fields, font()))
{
    setWindowTitle(QString::fromUtf8(dialog.caption));
    setObjectName(QString("dialog%1").arg(dialog.id));
    auto pixels = [this](const platform::DialogControl& c) {
        return QRect(units_.toPixelsX(c.x), units_.toPixelsY(c.y), units_.toPixelsX(c.width),
                     units_.toPixelsY(c.height));
    };

    // Controls are made in template order, so a group box lies under the
    // fields drawn inside it.
    for (const platform::DialogControl& c : dialog.controls) {
        QWidget* widget = nullptr;
        const QString text = QString::fromUtf8(c.text);
        switch (c.kind) {
        case platform::ControlKind::GroupBox:
            widget = new QGroupBox(text, this);
            break;
        case platform::ControlKind::Static: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);  // the two-line labels of 105 wrap inside their rectangle
            label->setAlignment((c.align == platform::TextAlign::Right ? Qt::AlignRight : Qt::AlignLeft) |
                                Qt::AlignTop);
            widget = label;
            break;
        }
        case platform::ControlKind::Edit: {
            auto* edit = new QLineEdit(this);
            edit->setEnabled(!c.disabled);
            edit->setTextMargins(0, 0, 0, 0);
            widget = edit;
            break;
        }
        case platform::ControlKind::Button: {
            auto* button = new QPushButton(text, this);
            if (c.id == platform::kIdOk) {
                button->setDefault(true);
                connect(button, &QPushButton::clicked, this, [this] { pressOk(); });
            } else if (c.id == platform::kIdCancel) {
                connect(button, &QPushButton::clicked, this, &QDialog::reject);
            }
            widget = button;
            break;
        }
        }
        widget->setGeometry(pixels(c));
        if (c.id != platform::kNoControlId) {
            widget->setObjectName(QString("control%1").arg(c.id));
            controls_[c.id] = widget;
        }
    }

    setFixedSize(units_.toPixelsX(dialog.width), units_.toPixelsY(dialog.height));
    if (dialog.placed && clientArea)
        move(clientArea->mapToGlobal(QPoint(units_.toPixelsX(dialog.x), units_.toPixelsY(dialog.y))));
    setFields(fields);
}

QWidget* TemplateDialog::control(int32_t id) const
{
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void TemplateDialog::setFields(const platform::DialogFields& fields)
{
    for (const auto& [id, text] : fields) {
        shown_[id] = text;
        QWidget* widget = control(id);
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            edit->setText(fromUtf8(text));
        else if (auto* label = qobject_cast<QLabel*>(widget))
            label->setText(fromUtf8(text));
    }
}

platform::DialogFields TemplateDialog::readFields(platform::DialogFields fields) const
{
    for (const auto& [id, widget] : controls_)
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            fields[id] = edit->text().toStdString();
    return fields;
}

void TemplateDialog::pressOk()
{
    platform::DialogFields typed = readFields(shown_);
    if (validate_ && !validate_(typed)) {
        setFields(typed);  // as the procedure left them
        return;
    }
    accepted_ = std::move(typed);
    accept();
}

platform::DialogResult runTemplateDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                         const platform::DialogValidator& validate, QWidget* owner,
                                         QWidget* clientArea)
{
    TemplateDialog box(dialog, fields, owner, clientArea, validate);
    if (box.exec() != QDialog::Accepted)
        return platform::DialogResult::Cancel;
    fields = box.acceptedFields();
    return platform::DialogResult::Ok;
}

#include "qt_dialogs.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace qt_window {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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
        const QString text = c.id != platform::kNoControlId && typed != fields.end() ? fromUtf8(typed->second)
                                                                                     : QString::fromUtf8(c.text);
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
                                         const platform::DialogValidator& validate, QWidget* owner, QWidget* clientArea)
{
    TemplateDialog box(dialog, fields, owner, clientArea, validate);
    if (box.exec() != QDialog::Accepted)
        return platform::DialogResult::Cancel;
    fields = box.acceptedFields();
    return platform::DialogResult::Ok;
}

// --- MessageDialog

namespace {

QStyle::StandardPixmap iconPixmap(base::MessageIcon icon)
{
    switch (icon) {
    case base::MessageIcon::Information:
        return QStyle::SP_MessageBoxInformation;
    case base::MessageIcon::Warning:
        return QStyle::SP_MessageBoxWarning;
    case base::MessageIcon::Error:
        return QStyle::SP_MessageBoxCritical;
    case base::MessageIcon::Question:
        return QStyle::SP_MessageBoxQuestion;
    case base::MessageIcon::None:
        break;
    }
    return QStyle::SP_CustomBase;
}

}  // namespace

MessageDialog::MessageDialog(QWidget* owner, const QString& text, const QString& caption, base::MessageIcon icon)
    : QDialog(owner), icon_(icon)
{
    setObjectName("messageBox");
    setWindowTitle(caption);

    text_ = new QLabel(text);
    // "No Bitmap <ButtonStart>" is not markup, and trace tables keep their lines.
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(false);
    // Traces are read, compared and pasted elsewhere: selectable by mouse
    // and keyboard, with the label's own Copy and Select All menu.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setObjectName("messageText");
    text_->setContentsMargins(4, 4, 4, 4);
    // Ctrl+C with nothing selected copies the whole text, as message boxes
    // of the desktop do: the label lets the key go to the box's Copy.
    text_->installEventFilter(this);
    auto* copyKey = new QAction(this);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copyKey, &QAction::triggered, this, &MessageDialog::copyText);
    addAction(copyKey);

    auto* scroll = new QScrollArea;
    scroll->setWidget(text_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setBackgroundRole(QPalette::Window);
    // As large as the text, up to most of the screen; beyond that it scrolls.
    const QRect screen =
        (owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize wanted = text_->sizeHint();
    const QSize most(screen.width() * 8 / 10, screen.height() * 7 / 10);
    scroll->setMinimumSize(std::min(wanted.width() + (wanted.height() > most.height() ? bar : 0), most.width()),
                           std::min(wanted.height() + (wanted.width() > most.width() ? bar : 0), most.height()));

    auto* row = new QHBoxLayout;
    if (icon != base::MessageIcon::None) {
        auto* picture = new QLabel;
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        picture->setPixmap(style()->standardIcon(iconPixmap(icon), nullptr, this).pixmap(side, side));
        picture->setAlignment(Qt::AlignTop);
        row->addWidget(picture);
    }
    row->addWidget(scroll, 1);

    ok_ = new QPushButton("OK");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    if (text.count('\n') + 1 >= kTraceLines) {
        // A trace or a table: Copy and Save as text beside OK. The buttons
        // take no focus, so that a selection in the text survives a click.
        copy_ = new QPushButton("Copy");
        copy_->setFocusPolicy(Qt::NoFocus);
        copy_->setToolTip("Copies the selected text, or all of it when nothing is selected");
        connect(copy_, &QPushButton::clicked, this, &MessageDialog::copyText);
        save_ = new QPushButton("Save as text...");
        save_->setFocusPolicy(Qt::NoFocus);
        connect(save_, &QPushButton::clicked, this, &MessageDialog::saveText);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(copy_);
        buttons->addWidget(save_);
        buttons->addStretch(1);
        buttons->addWidget(ok_);
        layout->addLayout(buttons);
    } else {
        layout->addWidget(ok_, 0, Qt::AlignHCenter);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ok_->setFocus();
}

QString MessageDialog::text() const { return text_->text(); }

QLabel* MessageDialog::textLabel() const { return text_; }

void MessageDialog::copyText()
{
    if (!text_->hasSelectedText()) {
        QGuiApplication::clipboard()->setText(text_->text());
        return;
    }
    // The label reports a selection across lines with the text layout's
    // separators; the clipboard gets the lines as written.
    QString selected = text_->selectedText();
    selected.replace(QChar::ParagraphSeparator, '\n').replace(QChar::LineSeparator, '\n');
    QGuiApplication::clipboard()->setText(selected);
}

void MessageDialog::saveText()
{
    const platform::FileDialogOptions options{
        "Save as text", {{"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}}, 0, "txt", true, false};
    const std::optional<std::string> path = runFileDialog(this, options, true);
    if (!path)
        return;
    QFile file(QFile::decodeName(QByteArray::fromStdString(*path)));
    const QByteArray bytes = text_->text().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        MessageDialog refusal(this, "The text could not be written to " + file.fileName() + ":\n" + file.errorString(),
                              "Save as text", base::MessageIcon::Warning);
        refusal.exec();
    }
}

bool MessageDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Left unaccepted, the key reaches the box's Copy, which takes the whole text.
    if (watched == text_ && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy) && !text_->hasSelectedText())
        return true;
    return QDialog::eventFilter(watched, event);
}

// --- file dialogs

namespace {

// Qt reads a filter as "description (patterns)" with blank-separated
// patterns. The descriptions already name their patterns, so only they are
// shown; "*.*" means every file on the desktop we imitate, not only names
// with a dot.
QString nameFilter(const platform::FileFilter& filter)
{
    QString patterns = QString::fromStdString(filter.pattern).replace(';', ' ');
    if (patterns.trimmed() == "*.*")
        patterns = "*";
    return QString::fromStdString(filter.description) + " (" + patterns + ")";
}

// "png" of a filter of one pattern "*.png"; empty for "*.*" or several patterns.
QString filterExtension(const platform::FileFilter& filter)
{
    const QString pattern = QString::fromStdString(filter.pattern).trimmed();
    if (!pattern.startsWith("*."))
        return {};
    const QString extension = pattern.mid(2);
    for (const QChar c : extension)
        if (!c.isLetterOrNumber())
            return {};
    return extension;
}

// The index of the filter the dialog has selected. With the details hidden
// the dialog names it as its list shows it, which is our description.
qsizetype shownFilterIndex(const QFileDialog& dialog, const platform::FileDialogOptions& options,
                           const QStringList& filters)
{
    const QString shown = dialog.selectedNameFilter();
    const qsizetype whole = filters.indexOf(shown);
    if (whole >= 0)
        return whole;
    for (size_t i = 0; i < options.filters.size(); ++i)
        if (QString::fromStdString(options.filters[i].description) == shown)
            return static_cast<qsizetype>(i);
    return -1;
}

}  // namespace

std::optional<std::string> runFileDialog(QWidget* owner, const platform::FileDialogOptions& options, bool save,
                                         int32_t* chosenFilter)
{
    QFileDialog dialog(owner, QString::fromStdString(options.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.overwritePrompt);
    QStringList filters;
    for (const platform::FileFilter& f : options.filters)
        filters << nameFilter(f);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (options.filterIndex >= 0 && options.filterIndex < filters.size())
            dialog.selectNameFilter(filters[options.filterIndex]);
    }
    if (!options.defaultExtension.empty()) {
        dialog.setDefaultSuffix(QString::fromStdString(options.defaultExtension));
        // The suffix follows the filter, so that "shot" under PNG becomes
        // shot.png and not shot.bmp.
        auto followFilter = [&dialog, &options, filters] {
            const qsizetype i = shownFilterIndex(dialog, options, filters);
            const QString suffix = i >= 0 ? filterExtension(options.filters[static_cast<size_t>(i)]) : QString();
            dialog.setDefaultSuffix(suffix.isEmpty() ? QString::fromStdString(options.defaultExtension) : suffix);
        };
        if (save) {
            QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
            followFilter();
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    if (chosenFilter) {
        const qsizetype i = shownFilterIndex(dialog, options, filters);
        if (i >= 0)
            *chosenFilter = static_cast<int32_t>(i);
    }
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace qt_window

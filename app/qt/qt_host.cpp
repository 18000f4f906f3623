#include "qt_host.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include "template_dialog.h"

namespace {

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

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

std::optional<std::string> runFileDialog(QWidget* parent, const platform::FileDialogOptions& options, bool save)
{
    QFileDialog dialog(parent, QString::fromStdString(options.title));
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
    if (!options.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(options.defaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

}  // namespace

QtHost::QtHost(QWidget& owner, QWidget& view)
    : owner_(&owner), view_(view), canvas_(std::max(view.width(), 0), std::max(view.height(), 0))
{
}

// A box raised while a dialog is open (a refused OK) belongs on top of that
// dialog; otherwise on the main window.
static QWidget* boxParent(QWidget* owner)
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : owner;
}

void QtHost::messageBox(std::string_view text, std::string_view caption, MessageIcon icon)
{
    if (messageHook) {
        messageHook({std::string(text), std::string(caption), icon});
        return;
    }
    QMessageBox box(boxIcon(icon), fromUtf8(caption), fromUtf8(text), QMessageBox::Ok, boxParent(owner_));
    // "No Bitmap <ButtonStart>" must not be taken for markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

platform::DialogResult QtHost::runDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                         const platform::DialogValidator& validate)
{
    return runTemplateDialog(dialog, fields, validate, boxParent(owner_), &view_);
}

std::optional<std::string> QtHost::saveFileDialog(const platform::FileDialogOptions& options)
{
    return runFileDialog(boxParent(owner_), options, true);
}

std::optional<std::string> QtHost::openFileDialog(const platform::FileDialogOptions& options)
{
    return runFileDialog(boxParent(owner_), options, false);
}

QAction* QtHost::menuItem(int32_t id) const
{
    const auto it = menuItems_.find(id);
    return it == menuItems_.end() ? nullptr : it->second.data();
}

// An item is checkable exactly while it carries a mark, so unmarked items
// look like plain commands, as on the desktop.
void QtHost::checkMenuItem(int32_t id, bool checked)
{
    if (QAction* action = menuItem(id)) {
        action->setCheckable(checked);
        action->setChecked(checked);
    }
}

void QtHost::restoreCheckMark(QAction* action) const
{
    if (action && action->isCheckable())
        action->setChecked(true);
}

void QtHost::invalidate(std::optional<platform::Rect> rect, bool erase)
{
    canvas_.invalidate(rect, erase);
    const platform::Rect area = rect ? platform::intersect(*rect, canvas_.clientRect()) : canvas_.clientRect();
    if (!platform::isEmpty(area))
        view_.update(QRect(area.left, area.top, area.right - area.left, area.bottom - area.top));
}

// The running command finishes first; the window closes from the event loop.
void QtHost::close()
{
    if (owner_)
        QMetaObject::invokeMethod(
            owner_.data(), [w = owner_] { if (w) w->close(); }, Qt::QueuedConnection);
}

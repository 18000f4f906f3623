#pragma once
// The modal windows of the Qt host: dialogs built from the resource
// templates, message boxes, and the file dialogs.

#include <QDialog>

#include <map>
#include <optional>
#include <string>

#include "platform/host.h"

class QLabel;
class QPushButton;

namespace qt_window {

// A dialog from a template: group boxes, labels, edit fields and the OK and
// Cancel buttons at their template rectangles, dialog units converted with
// the dialog font's base units.

class TemplateDialog final : public QDialog {
  public:
    // Shows fields at once. clientArea: the owner's client area, origin of a
    // placed template.
    TemplateDialog(const platform::DialogTemplate& dialog, const platform::DialogFields& fields, QWidget* owner,
                   QWidget* clientArea, platform::DialogValidator validate);

    // Shows the texts of the controls named in fields.
    void setFields(const platform::DialogFields& fields);
    // The given fields with the texts of every edit field as they stand now.
    platform::DialogFields readFields(platform::DialogFields fields) const;
    // The fields at the accepted OK.
    const platform::DialogFields& acceptedFields() const { return accepted_; }

    QWidget* control(int32_t id) const;
    const platform::DialogUnits& units() const { return units_; }

    // Base units of a font the classic way: the average width of the 52
    // Latin letters, rounded, and the character height.
    static platform::DialogUnits unitsOf(const QFont& font);
    // Those units, widened until every one-line label and group title of the
    // template (with the texts the procedure put in) fits its rectangle: the
    // templates were measured for a narrower face than ours.
    static platform::DialogUnits unitsFor(const platform::DialogTemplate& dialog, const platform::DialogFields& fields,
                                          const QFont& font);

  private:
    void pressOk();

    platform::DialogValidator validate_;
    platform::DialogUnits units_;
    std::map<int32_t, QWidget*> controls_;
    platform::DialogFields shown_;
    platform::DialogFields accepted_;
};

// Runs the dialog modally: fields in, OK checked by validate (a refusal
// keeps the dialog open, with the texts as validate left them), the fields
// at OK out; Cancel leaves fields as they came.
platform::DialogResult runTemplateDialog(const platform::DialogTemplate& dialog, platform::DialogFields& fields,
                                         const platform::DialogValidator& validate, QWidget* owner,
                                         QWidget* clientArea);

// A message box: icon, text and one OK button, with the caption as title.
// The text is shown as written, lines unbroken; a text larger than the
// screen (a long trace) scrolls instead of pushing OK off the screen. The
// text can be selected with the mouse and the keyboard; Ctrl+C copies the
// selection, or the whole text when nothing is selected. A text of
// kTraceLines lines or more (a trace, a table) also has the buttons Copy and
// "Save as text...".
class MessageDialog final : public QDialog {
  public:
    static constexpr int kTraceLines = 6;

    MessageDialog(QWidget* owner, const QString& text, const QString& caption, base::MessageIcon icon);
    QString text() const;
    base::MessageIcon icon() const { return icon_; }
    QPushButton* okButton() const { return ok_; }
    QLabel* textLabel() const;
    // nullptr for a text shorter than kTraceLines.
    QPushButton* copyButton() const { return copy_; }
    QPushButton* saveButton() const { return save_; }

    // The selection, or the whole text without one, onto the clipboard.
    void copyText();
    // Asks for a file (a save dialog, .txt added to a name without an
    // extension) and writes the whole text there in UTF-8; a failure is told
    // in a box.
    void saveText();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    base::MessageIcon icon_;
    QLabel* text_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* save_ = nullptr;
};

// A save or open dialog as the options describe it: the chosen path, or
// nothing when the user cancels. chosenFilter, when given, receives the index
// of the filter selected at the end. A save dialog with a default extension
// appends the extension of the selected filter to a name typed without one,
// as the desktop's save dialog does.
std::optional<std::string> runFileDialog(QWidget* owner, const platform::FileDialogOptions& options, bool save,
                                         int32_t* chosenFilter = nullptr);

}  // namespace qt_window

// Dialogs, boxes and file dialogs of the Qt host, driven through Qt's own
// events: the shell's procedures fill the template dialogs and check them at
// OK, boxes carry their text, caption and icon on their owner, and the file
// dialogs show the titles and filters they are given.

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "modal_helpers.h"
#include "qt_host.h"
#include "resources/dialogs.h"
#include "shell/parameter_dialogs.h"
#include "qt_dialogs.h"

namespace {

using namespace resources;

// A main window stand-in: the owner and its client area.
struct Window {
    QWidget owner;
    QWidget* view = new QWidget(&owner);
    qt_window::QtHost host{owner, *view};
    std::vector<base::RecordedMessage> messages;

    Window()
    {
        owner.resize(800, 600);
        view->setGeometry(0, 0, 800, 600);
        owner.show();
    }
    void recordMessages()
    {
        host.messageHook = [this](const base::RecordedMessage& m) { messages.push_back(m); };
    }
};

QLineEdit& edit(qt_window::TemplateDialog& d, int32_t id)
{
    if (auto* e = qobject_cast<QLineEdit*>(d.control(id)))
        return *e;
    ADD_FAILURE() << "no edit field " << id;
    return *new QLineEdit(&d);  // typed into and dropped with the dialog
}

void type(qt_window::TemplateDialog& d, int32_t id, const QString& text)
{
    QLineEdit& e = edit(d, id);
    e.selectAll();
    QTest::keyClicks(&e, text);
}

void press(qt_window::TemplateDialog& d, int32_t buttonId) { QTest::mouseClick(d.control(buttonId), Qt::LeftButton); }

TEST(TemplateDialogs, TheCreationProcedureKeepsARefusedDialogOpenUntilItsFieldsAreSound)
{
    Window w;
    w.recordMessages();
    shell::AppState s;
    s.seriesLength = 1200;
    bool stillOpenAfterRefusal = false;
    size_t messagesAtRefusal = 0;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Create Series");
        EXPECT_EQ(edit(d, EditSamplesLength).text(), "1200");
        type(d, EditMinInterval, "0");
        press(d, platform::kIdOk);
        stillOpenAfterRefusal = d.isVisible();
        messagesAtRefusal = w.messages.size();
        type(d, EditSamplesLength, "600");
        type(d, EditMinInterval, "35");
        press(d, platform::kIdOk);
    });
    shell::runSeriesCreationDialog(s, w.host);

    EXPECT_TRUE(stillOpenAfterRefusal);
    ASSERT_EQ(messagesAtRefusal, 1u);
    EXPECT_EQ(w.messages[0].caption, "Create Series");
    EXPECT_EQ(w.messages[0].icon, base::MessageIcon::Warning);
    EXPECT_NE(w.messages[0].text.find("wTmin"), std::string::npos);
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(s.dialogAccepted, 1);
    EXPECT_EQ(s.staged.seriesLength, 600);
    EXPECT_EQ(s.staged.minInterval, 35);
    EXPECT_EQ(s.staged.maxInterval, 181);
    EXPECT_EQ(s.dialogEtalonNumber, 1);
}

TEST(TemplateDialogs, CancelAndEscapeStoreNothing)
{
    Window w;
    w.recordMessages();
    shell::AppState s;
    s.requiredList = {1, 2, 3};
    s.active_etalons = 3;
    s.requiredCapacity = 20;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        EXPECT_EQ(edit(d, EditRequiredList).text(), "1,2,3");
        type(d, EditRequiredCount, "2");
        press(d, platform::kIdCancel);
    });
    shell::runRequiredListDialog(s, w.host);
    EXPECT_EQ(s.dialogAccepted, 0);
    EXPECT_EQ(s.active_etalons, 3);

    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        type(d, EditRequiredCount, "2");
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    s.dialogAccepted = 1;
    shell::runRequiredListDialog(s, w.host);
    EXPECT_EQ(s.dialogAccepted, 0);
    EXPECT_EQ(s.active_etalons, 3);

    // Return in a field presses OK, the default button.
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        type(d, EditRequiredCount, "2");
        QTest::keyClick(&edit(d, EditRequiredCount), Qt::Key_Return);
    });
    shell::runRequiredListDialog(s, w.host);
    EXPECT_EQ(s.dialogAccepted, 1);
    EXPECT_EQ(s.active_etalons, 2);
    EXPECT_TRUE(w.messages.empty());
}

TEST(TemplateDialogs, ControlsStandAtTheirTemplateRectanglesInDialogUnits)
{
    Window w;
    for (const platform::DialogTemplate* t :
         {&createSeriesDialog(), &seriesStructureDialog(), &requiredEtalonsDialog(), &locationParametersDialog()}) {
        SCOPED_TRACE(t->id);
        qt_window::TemplateDialog d(*t, {}, &w.owner, w.view, {});
        const platform::DialogUnits u = d.units();
        const platform::DialogUnits plain = qt_window::TemplateDialog::unitsOf(d.font());
        EXPECT_GE(u.baseX, plain.baseX);
        EXPECT_EQ(u.baseY, plain.baseY);
        EXPECT_EQ(d.size(), QSize(u.toPixelsX(t->width), u.toPixelsY(t->height)));
        int edits = 0;
        for (const platform::DialogControl& c : t->controls) {
            const QRect expected(u.toPixelsX(c.x), u.toPixelsY(c.y), u.toPixelsX(c.width), u.toPixelsY(c.height));
            if (c.id != platform::kNoControlId) {
                ASSERT_NE(d.control(c.id), nullptr) << c.id;
                EXPECT_EQ(d.control(c.id)->geometry(), expected) << c.id;
            }
            if (c.kind == platform::ControlKind::Edit) {
                ++edits;
                EXPECT_EQ(d.control(c.id)->isEnabled(), !c.disabled) << c.id;
            }
            // Every one-line label can be read whole in its rectangle.
            if (c.kind == platform::ControlKind::Static && c.id == platform::kNoControlId && c.height < 16) {
                EXPECT_LE(d.fontMetrics().horizontalAdvance(QString::fromUtf8(c.text)), expected.width()) << c.text;
            }
        }
        EXPECT_GT(edits, 0);
    }
}

TEST(TemplateDialogs, TheNoiseLabelsOfTheLocationDialogAreRightAligned)
{
    Window w;
    qt_window::TemplateDialog d(locationParametersDialog(), {}, &w.owner, w.view, {});
    int rightAligned = 0;
    for (QLabel* label : d.findChildren<QLabel*>()) {
        const bool right = label->alignment() & Qt::AlignRight;
        const QString text = label->text();
        const bool noiseLabel =
            text == "Initial Level" || text == "Number of Steps in Simulation" || text == "Noise Increment per Step";
        EXPECT_EQ(right, noiseLabel) << text.toStdString();
        rightAligned += right;
    }
    EXPECT_EQ(rightAligned, 3);
}

TEST(TemplateDialogs, APlacedTemplateOpensAtItsPointOfTheClientArea)
{
    Window w;
    w.owner.move(100, 80);
    QPoint at;
    QPoint expected;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        at = d.pos();
        expected = w.view->mapToGlobal(QPoint(d.units().toPixelsX(60), d.units().toPixelsY(50)));
        press(d, platform::kIdCancel);
    });
    platform::DialogFields fields;
    EXPECT_EQ(w.host.runDialog(locationParametersDialog(), fields, {}), platform::DialogResult::Cancel);
    EXPECT_EQ(at, expected);
}

TEST(TemplateDialogs, TheProcedureMayRewriteFieldsItRefuses)
{
    Window w;
    platform::DialogFields fields{{EditRequiredCount, "7"}, {TextRequiredRange, "from 1 to 20"}};
    int checks = 0;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        EXPECT_EQ(qobject_cast<QLabel*>(d.control(TextRequiredRange))->text(), "from 1 to 20");
        press(d, platform::kIdOk);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(edit(d, EditRequiredCount).text(), "rewritten");
        press(d, platform::kIdOk);
    });
    const auto r = w.host.runDialog(requiredEtalonsDialog(), fields, [&](platform::DialogFields& f) {
        if (++checks == 1) {
            f[EditRequiredCount] = "rewritten";
            return false;
        }
        return true;
    });
    EXPECT_EQ(r, platform::DialogResult::Ok);
    EXPECT_EQ(checks, 2);
    EXPECT_EQ(fields.at(EditRequiredCount), "rewritten");
    // Statics travel through untouched, and the list field comes out as typed (empty).
    EXPECT_EQ(fields.at(TextRequiredRange), "from 1 to 20");
    EXPECT_EQ(fields.at(EditRequiredList), "");
}

TEST(MessageBoxes, ABoxShowsTextCaptionAndIconOnTheMainWindowAsWritten)
{
    Window w;
    bool seen = false;
    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        seen = true;
        EXPECT_EQ(box.text(), "No Bitmap <ButtonStart>");
        EXPECT_EQ(box.windowTitle(), "Fatal Error");
        EXPECT_EQ(box.icon(), base::MessageIcon::None);
        EXPECT_EQ(box.parentWidget(), &w.owner);
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    w.host.messageBox("No Bitmap <ButtonStart>", "Fatal Error", base::MessageIcon::None);
    EXPECT_TRUE(seen);

    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        EXPECT_EQ(box.icon(), base::MessageIcon::Warning);
        EXPECT_EQ(box.windowTitle(), " About getCutOffSeriesHeader ");
        EXPECT_EQ(box.text(), QString::fromUtf8("Не могу выделить память для lpCutOffSeriesHeader!"));
        QTest::keyClick(&box, Qt::Key_Return);
    });
    w.host.messageBox("Не могу выделить память для lpCutOffSeriesHeader!", " About getCutOffSeriesHeader ",
                      base::MessageIcon::Warning);
}

TEST(MessageBoxes, ABoxOfAStartThatFailsStandsAloneBeforeTheWindowIsShown)
{
    Window w;
    w.owner.hide();
    QWidget* parent = &w.owner;
    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        parent = box.parentWidget();
        box.accept();
    });
    w.host.messageBox("No Font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "Fatal Error",
                      base::MessageIcon::None);
    EXPECT_EQ(parent, nullptr);
}

TEST(MessageBoxes, ATraceLongerThanTheScreenScrollsAndKeepsItsOkButtonOnTheScreen)
{
    Window w;
    std::string trace;
    for (int i = 0; i < 120; ++i)
        trace += std::to_string(i) + "[" + std::to_string(i) +
                 "]\t165487\t321913\t122 301 481 657 838 1019 1140 1180 1220\n";
    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        const QRect screen = box.screen()->availableGeometry();
        EXPECT_LE(box.height(), screen.height());
        EXPECT_LE(box.width(), screen.width());
        EXPECT_TRUE(box.okButton()->isVisible());
        const QRect ok(box.okButton()->mapToGlobal(QPoint(0, 0)), box.okButton()->size());
        EXPECT_TRUE(screen.contains(ok)) << "OK within the screen";
        // The lines of the table stay whole.
        EXPECT_EQ(box.text().count('\n'), 120);
        box.accept();
    });
    w.host.messageBox(trace, "Sequential method", base::MessageIcon::None);
}

TEST(MessageBoxes, ATraceIsSelectableCopiesAndSavesAsText)
{
    Window w;
    QString trace;
    for (int i = 0; i < 12; ++i)
        trace += QString("%1[%1]\t165487\t321913\t122 301 481 657 838 1019\n").arg(i);
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath("steps");
    bool seen = false;
    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        seen = true;
        QLabel* label = box.textLabel();
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_TRUE(label->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        ASSERT_NE(box.copyButton(), nullptr);
        ASSERT_NE(box.saveButton(), nullptr);
        EXPECT_EQ(box.saveButton()->text(), "Save as text...");
        EXPECT_TRUE(box.okButton()->isDefault());

        // Copy with nothing selected: the whole text.
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(box.copyButton(), Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), trace);

        // A selection over two lines: Ctrl+C in the text and the Copy button
        // both give those lines as written.
        const qsizetype second = trace.indexOf('\n') + 1;
        label->setFocus();
        label->setSelection(second - 7, 14);
        const QString lines = trace.mid(second - 7, 14);
        ASSERT_TRUE(lines.contains('\n'));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), lines);
        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(box.copyButton(), Qt::LeftButton);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), lines);

        // Save as text: the file dialog names the file, .txt is added, and
        // the whole text is written.
        whenModalOpens<QFileDialog>([&](QFileDialog& d) {
            EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(d.windowTitle(), "Save as text");
            d.setDirectory(dir.path());
            d.selectFile("steps");
            static_cast<QDialog&>(d).accept();
        });
        QTest::mouseClick(box.saveButton(), Qt::LeftButton);
        EXPECT_TRUE(box.isVisible()) << "saving leaves the box open";
        QTest::mouseClick(box.okButton(), Qt::LeftButton);
    });
    w.host.messageBox(trace.toStdString(), "Sequential method", base::MessageIcon::None);
    EXPECT_TRUE(seen);
    QFile saved(file + ".txt");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), trace);
}

TEST(MessageBoxes, AShortBoxHasOnlyOkButCopiesItsWholeTextWithCtrlC)
{
    Window w;
    whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
        EXPECT_EQ(box.copyButton(), nullptr);
        EXPECT_EQ(box.saveButton(), nullptr);
        // Keys reach the box once it is active, as a shown box soon is.
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        EXPECT_EQ(QApplication::focusWidget(), box.okButton());
        QGuiApplication::clipboard()->clear();
        // From OK, where the focus starts, and from the text itself.
        QTest::keyClick(box.okButton(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("Не могу создать ряд!"));
        QGuiApplication::clipboard()->clear();
        box.textLabel()->setFocus();
        QTest::keyClick(box.textLabel(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("Не могу создать ряд!"));
        EXPECT_TRUE(box.isVisible());
        box.accept();
    });
    w.host.messageBox("Не могу создать ряд!", "CM_INFO", base::MessageIcon::None);
}

TEST(MessageBoxes, ARefusalRaisedInADialogStandsOnThatDialog)
{
    Window w;  // no hook: the real box
    bool boxSeen = false;
    whenModalOpens<qt_window::TemplateDialog>([&](qt_window::TemplateDialog& d) {
        whenModalOpens<qt_window::MessageDialog>([&](qt_window::MessageDialog& box) {
            boxSeen = true;
            EXPECT_EQ(box.parentWidget(), &d);
            EXPECT_EQ(box.windowTitle(), "Create Series");
            box.accept();
        });
        type(d, EditMaxInterval, "10");
        press(d, platform::kIdOk);  // returns when the box is closed
        EXPECT_TRUE(d.isVisible());
        press(d, platform::kIdCancel);
    });
    shell::AppState s;
    s.seriesLength = 1200;
    shell::runSeriesCreationDialog(s, w.host);
    EXPECT_TRUE(boxSeen);
    EXPECT_EQ(s.dialogAccepted, 0);
}

// The save dialog of the snapshot and the open dialog of the data file, as
// their callers describe them.
platform::FileDialogOptions snapshotOptions()
{
    return {"Snapshot File Name",
            {{"Bitmap Files (*.bmp)", "*.bmp"}, {"PCX Files (*.pcx)", "*.pcx"}},
            0,
            "bmp",
            true,
            false};
}
platform::FileDialogOptions dataFileOptions()
{
    return {"Long File Name Search", {{"All Files (*.*)", "*.*"}, {"Text Files (*.txt)", "*.txt"}}, 0, "", false, true};
}

QStringList shownFilters(QFileDialog& d)
{
    QStringList shown;
    if (auto* combo = d.findChild<QComboBox*>("fileTypeCombo"))
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemText(i);
    return shown;
}

TEST(FileDialogs, TheSaveDialogShowsItsTitleAndFiltersAndAddsTheDefaultExtension)
{
    Window w;
    QTemporaryDir dir;
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Snapshot File Name");
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(shownFilters(d), QStringList({"Bitmap Files (*.bmp)", "PCX Files (*.pcx)"}));
        EXPECT_EQ(d.selectedNameFilter(), "Bitmap Files (*.bmp)");
        EXPECT_EQ(d.defaultSuffix(), "bmp");
        EXPECT_FALSE(d.testOption(QFileDialog::DontConfirmOverwrite));
        d.setDirectory(dir.path());
        d.selectFile("picture");
        static_cast<QDialog&>(d).accept();  // as the Save or Open button does
    });
    const auto chosen = w.host.saveFileDialog(snapshotOptions());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QString::fromStdString(*chosen), QDir(dir.path()).filePath("picture.bmp"));

    whenModalOpens<QFileDialog>([&](QFileDialog& d) { d.reject(); });
    EXPECT_FALSE(w.host.saveFileDialog(snapshotOptions()).has_value());
}

TEST(FileDialogs, TheOpenDialogListsEveryFileUnderAllFilesAndTakesOnlyExistingOnes)
{
    Window w;
    QTemporaryDir dir;
    QFile data(QDir(dir.path()).filePath("trace"));  // a recorded trace has no extension
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.close();
    whenModalOpens<QFileDialog>([&](QFileDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Long File Name Search");
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(d.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(shownFilters(d), QStringList({"All Files (*.*)", "Text Files (*.txt)"}));
        // "All Files" lets every name through, not only names with a dot.
        EXPECT_EQ(d.selectedNameFilter(), "All Files (*.*)");
        EXPECT_TRUE(d.nameFilters().value(0).endsWith("(*)")) << d.nameFilters().value(0).toStdString();
        d.setDirectory(dir.path());
        d.selectFile(QDir(dir.path()).filePath("trace"));
        static_cast<QDialog&>(d).accept();  // as the Save or Open button does
    });
    const auto chosen = w.host.openFileDialog(dataFileOptions());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QString::fromStdString(*chosen), QDir(dir.path()).filePath("trace"));
}

}  // namespace

// quillmore: the workbench in its window.

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "main_window.h"

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

int main(int argc, char** argv)
{
    // Qt would abort with a long diagnostic; say plainly what is missing and
    // what works without a screen.
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        std::fputs(
            "quillmore: no display to open the window on (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
            "unset); quillmore-cli runs the workbench without one\n",
            stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillmore");
    // The loop ends when the main window has been torn down, not when some
    // box of a failed start closes.
    QApplication::setQuitOnLastWindowClosed(false);

    qt_window::MainWindow window;
    // A start that fails (a missing font or button bitmap) has shown its
    // message and ends quietly, as the window never existed.
    if (!window.create())
        return 0;
    window.whenClosed = [] { QCoreApplication::exit(0); };
    window.showWorkbench();
    return QApplication::exec();
}

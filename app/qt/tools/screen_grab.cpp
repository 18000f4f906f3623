// quillmore-screen-grab FILE.png [x y width height]: saves the picture of the
// whole screen (or a part of it) of the display it runs on, menus and
// dialogs included. scripts/screenshots takes the README pictures with it.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 6) {
        std::fputs("usage: quillmore-screen-grab FILE.png [x y width height]\n", stderr);
        return 2;
    }
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        std::fputs("quillmore-screen-grab: no screen\n", stderr);
        return 1;
    }
    QPixmap picture = argc == 6 ? screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                                     std::atoi(argv[5]))
                                : screen->grabWindow(0);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "quillmore-screen-grab: cannot save %s\n", argv[1]);
        return 1;
    }
    return 0;
}

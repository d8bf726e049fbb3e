#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

#include "IconFile.h"
#include "ui/AppIcon.h"

// quillon-icon-writer OUTPUT.ico: the program's icon in the sizes Windows shows, from the
// small-icon size of a title bar to the large tiles of Explorer.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    // No screen is needed to paint; the offscreen platform spares the tool a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);

    const QIcon icon = quillon::MakeApplicationIcon();
    std::vector<quillon::TIconPicture> pictures;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!icon.pixmap(size, size).save(&buffer, "PNG")) {
            std::fprintf(stderr, "cannot paint the icon at %d pixels\n", size);
            return 1;
        }
        pictures.push_back({size, std::vector<uint8_t>(png.begin(), png.end())});
    }

    const std::vector<uint8_t> file = quillon::IconFile(pictures);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(reinterpret_cast<const char*>(file.data()),
                                                     qint64(file.size())) != qint64(file.size())) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

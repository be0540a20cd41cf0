// Loads a picture into a LumoraWidget and prints its size and the ink of a printed page.
#include <QApplication>

#include <cstdio>

#include <lumora/lumora_widget.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) return 2;
    LumoraWidget widget;
    if (!widget.setMember("FileName", QString::fromLocal8Bit(argv[1]))) {
        std::printf("%s\n", widget.lastError().toUtf8().constData());
        return 1;
    }
    const QImage page = widget.printPage(QSize(200, 100), 150, 150);
    std::printf("%d %d %s\n", widget.getMember("bmpw").toInt(), widget.getMember("bmph").toInt(),
                page.pixel(10, 10) == qRgb(255, 255, 255) ? "blank" : "printed");
    return 0;
}

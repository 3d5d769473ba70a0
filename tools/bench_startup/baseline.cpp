// The yardstick for QEV's start-up: the smallest Qt Widgets program that shows a window.
// With --label the window holds one line of text, which is what any window with text pays
// before it is shown: loading the font configuration and a font.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(409, 573);
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0) {
        auto* label = new QLabel(QStringLiteral("QEV 1.0"), &window);
        label->adjustSize();
    }
    window.show();
    return app.exec();
}

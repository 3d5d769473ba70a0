// The yardstick for QEV's start-up: the smallest Qt Widgets program that shows a window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(409, 573);
    window.show();
    return app.exec();
}

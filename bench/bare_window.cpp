// The yardstick for the program's start-up: an empty Qt window, shown and closed as soon
// as the event loop has run once, exactly as bench/run.sh times ombrix.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare");
    window.resize(800, 600);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}

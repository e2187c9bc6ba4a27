#include <QApplication>

#include "qt/PelliskWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CPelliskWindow window;
    window.Load();
    window.show();
    return app.exec();
}

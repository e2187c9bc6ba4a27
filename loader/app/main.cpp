// Quillon: the firmware loader's dialog, drawn with Qt.
#include <QApplication>

#include "AppIcon.h"
#include "QtDialogWindow.h"
#include "QuillonApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QuillonAppIcon());
    CQtDialogWindow window;
    CQuillonApp theApp(window);
    return theApp.InitInstance() ? app.exec() : 0;
}

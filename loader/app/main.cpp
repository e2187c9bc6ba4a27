// Quillon: the firmware loader's dialog, drawn with Qt.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "AppIcon.h"
#include "QtDialogWindow.h"
#include "QuillonApp.h"

namespace {

constexpr const char* kHelp =
    "usage: quillon [--help | --version]\n"
    "Opens the Quillon dialog, which replaces the firmware of a networked unit whose\n"
    "bootloader answers over UDP: Connect, Load Firmware, Flash Firmware. The dialog takes\n"
    "no command-line options; quillon-flash runs the same sequence from a script.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the program's name and version\n"
    "\n"
    "See quillon(1).\n";

// Answered before the QApplication exists, so that they work without a display. Any other
// argument is left to Qt, as before.
bool AnsweredPrintOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("quillon " QUILLON_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnsweredPrintOption(argc, argv)) return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QuillonAppIcon());
    CQtDialogWindow window;
    CQuillonApp theApp(window);
    return theApp.InitInstance() ? app.exec() : 0;
}

// SPDX-License-Identifier: Apache-2.0
// Pellisk: the list of units announcing themselves on UDP port 30303, drawn with Qt.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "qt/PelliskWindow.h"

namespace {

constexpr const char* kHelp =
    "usage: pellisk [-h | --help | -V | --version]\n"
    "Opens the Pellisk window, which lists the units that announce themselves on UDP port\n"
    "30303 with their name, MAC, IP address and message, and removes a unit about seven\n"
    "seconds after its last announce. The window takes no command-line options;\n"
    "pellisk-watch prints the same list for scripts.\n"
    "\n"
    "  -h, --help     this text\n"
    "  -V, --version  the program's name and version\n"
    "\n"
    "See pellisk(1).\n";

// Answered before the QApplication exists, so that they work without a display. Any other
// argument is left to Qt, as before.
bool AnsweredPrintOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::puts("pellisk " PELLISK_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnsweredPrintOption(argc, argv)) return 0;
    QApplication app(argc, argv);
    CPelliskWindow window;
    window.Load();
    window.show();
    return app.exec();
}

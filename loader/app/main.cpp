// SPDX-License-Identifier: Apache-2.0
// Quillon: the firmware loader's dialog, drawn with Qt.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "AppIcon.h"
#include "QtDialogWindow.h"
#include "QuillonApp.h"
#include "StartArguments.h"

namespace {

constexpr int kExitUsage = 64;

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the QApplication exists, so that they work without a display.
    switch (FindPrintOption(ArgumentsOf(argc, argv))) {
        case EPrintOption::kHelp:
            std::fputs(kQuillonHelp, stdout);
            return 0;
        case EPrintOption::kVersion:
            std::puts("quillon " QUILLON_VERSION);
            return 0;
        case EPrintOption::kNone:
            break;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style, ...) out of argv; the rest is ours.
    CStartTarget start = DefaultStartTarget();
    std::string error;
    if (!ParseStartArguments(ArgumentsOf(argc, argv), &start, &error)) {
        std::fprintf(stderr, "quillon: %s\n%s", error.c_str(), kQuillonUsage);
        return kExitUsage;
    }
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(QuillonAppIcon());
    CQtDialogWindow window;
    CQuillonApp theApp(window, start);
    return theApp.InitInstance() ? app.exec() : 0;
}

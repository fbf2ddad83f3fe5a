// SPDX-License-Identifier: GPL-2.0-or-later
// Shows the speed-curve graph and the threshold slider bound to each other.
//   drivetherm-widgets-demo [--screenshot FILE]
// With --screenshot the window is drawn once into FILE (PNG) and the program ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "demo/widgets/DemoWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot("screenshot", "Save the window to FILE and quit.", "FILE");
    parser.addOption(screenshot);
    parser.process(app);

    drivetherm::DemoWindow window;
    window.show();
    if (parser.isSet(screenshot)) {
        QTimer::singleShot(0, &window, [&] {
            const QString file = parser.value(screenshot);
            const bool saved = window.grab().save(file);
            std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", qPrintable(file));
            app.exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}

// The console's application object as the window tests and tools set it up: under the offscreen platform unless
// another one is chosen, initialised and titled as at start-up, so that errors reach the standard error box, and
// with every message box answered by the scripted dialog seam.
#pragma once

#include "forms/Application.h"
#include "forms/UiSeam.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryFile>

class ConsoleTestApplication {
public:
    ConsoleTestApplication(int& argc, char** argv) : m_qt(OffscreenByDefault(argc, m_screens), argv) {
        m_application.Initialize();
        m_application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
        UiSeam::SetScripted(true);
    }

private:
    // Runs before QApplication is made, which reads the platform. The offscreen platform gets one screen of
    // 1280 × 1024, as the Xvfb screen the console is tried on, instead of its own 800 × 600.
    static int& OffscreenByDefault(int& argc, QTemporaryFile& screens) {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        if (platform.isEmpty() || platform == "offscreen") {
            QByteArray value = "offscreen";
            if (screens.open()) {
                screens.write(R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": 1280, "height": 1024,)"
                              R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
                screens.flush();
                value += ":configfile=" + QFile::encodeName(screens.fileName());
            }
            qputenv("QT_QPA_PLATFORM", value);
        }
        return argc;
    }

    QTemporaryFile m_screens; // made before the application, which reads it
    QApplication m_qt;
    TApplication m_application;
};

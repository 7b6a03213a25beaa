// The console's application object as the window tests and tools set it up: under the offscreen platform unless
// another one is chosen, initialised and titled as at start-up, so that errors reach the standard error box, and
// with every message box answered by the scripted dialog seam.
#pragma once

#include "forms/Application.h"
#include "forms/UiSeam.h"

#include <QApplication>

class ConsoleTestApplication {
public:
    ConsoleTestApplication(int& argc, char** argv) : m_qt(OffscreenByDefault(argc), argv) {
        m_application.Initialize();
        m_application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
        UiSeam::SetScripted(true);
    }

private:
    // Runs before QApplication is made, which reads the platform.
    static int& OffscreenByDefault(int& argc) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QApplication m_qt;
    TApplication m_application;
};

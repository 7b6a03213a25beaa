// The console window tests run under the offscreen platform with the application object set up as at start-up
// and every box answered by the dialog seam.
#include "forms/Application.h"
#include "forms/UiSeam.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApplication(argc, argv);
    TApplication application;
    application.Initialize();
    application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
    UiSeam::SetScripted(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

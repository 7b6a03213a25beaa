// Runs the check point dialog tests under an offscreen application with the console's application object, so
// that errors reach the standard error box and message boxes go through the scripted seam.
#include "forms/Application.h"
#include "forms/UiSeam.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qt(argc, argv);
    TApplication application;
    application.Initialize();
    application.SetTitle(QStringLiteral("НавиЛОКС OLE"));
    UiSeam::SetScripted(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

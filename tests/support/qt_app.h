// The one QApplication of the window tests: offscreen platform, settings in a folder of the
// test's own so that no user settings are read or written.
#pragma once

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace vantrel::testing {

inline QApplication& qtApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vantrel_app_tests";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        static QTemporaryDir settingsDir;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        return a;
    }();
    return *app;
}

// Lets queued events (layout, paint, deferred deletes) run.
inline void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace vantrel::testing

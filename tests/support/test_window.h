// A main window for tests: settings, glyph atlas folder, dialogs, questions and warning
// sounds scripted and recorded.
#pragma once

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/log_pane.h"
#include "app/main_window.h"
#include "support/qt_app.h"

namespace vantrel::testing {

// `folder` holds the settings file and stands for the program's folder (put "abc.png" there
// for a window with SRT import). `onPump` runs once at the next pump of a long job or load.
class TestWindow : public app::TfMain {
public:
    explicit TestWindow(const QString& folder) {
        programFolder = folder;
        const QString ini = QDir(folder).filePath(QStringLiteral("Quillon.ini"));
        settingsStore = [ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); };
    }
    bool confirm(std::string_view q) override {
        questions.emplace_back(q);
        return answer;
    }
    void showError(const QString& m) override { errors << m; }
    QString chooseOpenFile(const QString& title, std::string_view filter, const QString& folder) override {
        dialogTitle = title;
        dialogFilter = std::string(filter);
        dialogFolder = folder;
        return nextFile;
    }
    QString chooseSaveFile(const QString& title, std::string_view filter, const QString& proposed,
                           const QString&) override {
        dialogTitle = title;
        dialogFilter = std::string(filter);
        dialogProposed = proposed;
        return nextSaveFile;
    }
    QString chooseFolder(const QString&, const QString&) override { return nextFolder; }
    int chooseTrack(const QString&, const QStringList& tracks, int proposed) override {
        trackLists.push_back(tracks);
        proposedTrack = proposed;
        return nextTrack;
    }
    void beep() override { ++beeps; }
    void pumpMessages() override {
        app::TfMain::pumpMessages();
        if (onPump) {
            auto f = std::move(onPump);
            onPump = nullptr;
            f();
        }
    }
    QStringList lines() const {
        QStringList out;
        for (int i = 0; i < reMessage->lineCount(); ++i) out << reMessage->lineText(i);
        return out;
    }

    std::vector<std::string> questions;
    bool answer = true;
    QStringList errors;
    QString nextFile;
    QString nextFolder;
    QString nextSaveFile;
    QString dialogTitle;
    QString dialogFolder;
    QString dialogProposed;
    std::string dialogFilter;
    int beeps = 0;
    std::vector<QStringList> trackLists;   // every track dialog's lines
    int proposedTrack = -1;
    int nextTrack = -1;                    // the track the dialog answers, -1 Cancel
    std::function<void()> onPump;
};

// A test whose window lives in a folder of its own and is closed after the test.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override { openWindow(); }
    void TearDown() override {
        w->prog.Busy = false;
        w->close();
        w.reset();
        settle();
    }
    // Creates and shows the window; with `startUp` it runs the start-up sequence on `args`.
    void openWindow(bool startUp = true, const QStringList& args = {}) {
        qtApp();
        w = std::make_unique<TestWindow>(dir.path());
        w->show();
        if (startUp) w->startUp(args);
        settle();
    }

    QTemporaryDir dir;
    std::unique_ptr<TestWindow> w;
};

}  // namespace vantrel::testing

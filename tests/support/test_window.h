// A main window for tests: settings, glyph atlas folder, dialogs, questions and warning
// sounds scripted and recorded.
#pragma once

#include <QDir>
#include <QSettings>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/log_pane.h"
#include "app/main_window.h"

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
    QString chooseOpenFile(const QString& title, std::string_view filter, const QString&) override {
        dialogTitle = title;
        dialogFilter = std::string(filter);
        return nextFile;
    }
    QString chooseFolder(const QString&, const QString&) override { return nextFolder; }
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
    QString dialogTitle;
    std::string dialogFilter;
    int beeps = 0;
    std::function<void()> onPump;
};

}  // namespace vantrel::testing

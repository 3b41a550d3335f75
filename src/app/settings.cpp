// Reading and writing the stored values through QSettings.
#include "app/settings.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace vantrel::app {
namespace {

constexpr int kMaximized = 2;

bool isNormalGeometry(const char* name) {
    return !std::strcmp(name, "Top") || !std::strcmp(name, "Left") || !std::strcmp(name, "Width") ||
           !std::strcmp(name, "Height");
}

// Text values are file names, kept in the platform's encoding inside the program.
QString storedText(const std::string& text) {
    return QFile::decodeName(QByteArray::fromStdString(text));
}

}  // namespace

QRect keepOnScreen(const QRect& window, const QList<QRect>& screens) {
    if (screens.isEmpty()) return window;
    const QRect* best = &screens.first();
    qint64 bestArea = -1;
    for (const QRect& screen : screens) {
        if (screen.contains(window)) return window;
        const QRect common = screen.intersected(window);
        const qint64 area = common.isEmpty() ? 0 : qint64{common.width()} * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = &screen;
        }
    }
    const QRect& s = *best;
    const int w = std::min(window.width(), s.width());
    const int h = std::min(window.height(), s.height());
    const int x = std::clamp(window.x(), s.left(), s.left() + s.width() - w);
    const int y = std::clamp(window.y(), s.top(), s.top() + s.height() - h);
    return QRect(x, y, w, h);
}

std::unique_ptr<QSettings> openUserSettings() {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Corvane Labs"), QStringLiteral("Quillon"));
}

void RegRead(QSettings& store, Options& options) {
    if (store.status() != QSettings::NoError) return;
    for (const char* name : settingLoadOrder()) {
        const SettingValue* value = findSetting(name);
        const QString key = QString::fromLatin1(name);
        if (!value || !store.contains(key)) continue;
        const QVariant stored = store.value(key);
        // An INI value with an unquoted comma reads as a list: never one of ours.
        if (stored.typeId() == QMetaType::QStringList || !stored.canConvert<QString>()) continue;
        const QString text = stored.toString();
        if (value->kind == ValueKind::Text) {
            options.*(value->text) = QFile::encodeName(text).toStdString();
        } else {
            // setSetting refuses anything but a whole decimal number and leaves the default.
            setSetting(options, name, text.trimmed().toStdString());
        }
    }
}

bool RegWrite(QSettings& store, const Options& options) {
    const bool maximized = options.WindowState == kMaximized;
    for (const SettingValue& value : settingValues()) {
        if (maximized && isNormalGeometry(value.name)) continue;
        const QString key = QString::fromLatin1(value.name);
        switch (value.kind) {
            case ValueKind::Integer: store.setValue(key, options.*(value.integer)); break;
            case ValueKind::Flag: store.setValue(key, options.*(value.flag) ? 1 : 0); break;
            case ValueKind::Text: store.setValue(key, storedText(options.*(value.text))); break;
        }
    }
    // The language a loaded track gave the OCR is not the user's setting: the one it took
    // the place of is stored.
    if (!options.ocrLanguageChosen && !options.ocrLanguageBefore.empty())
        store.setValue(QStringLiteral("OcrLang"), storedText(options.ocrLanguageBefore));
    store.sync();
    return store.status() == QSettings::NoError;
}

QString settingsWriteProblem(const QSettings& store) {
    namespace fs = std::filesystem;
    const auto reason = [](int error) { return QString::fromLocal8Bit(std::strerror(error)); };
    fs::path path(QFile::encodeName(store.fileName()).toStdString());
    std::error_code ec;
    if (fs::is_directory(path, ec)) return reason(EISDIR);
    if (!fs::exists(path, ec)) {
        // A new file (and its missing folders) goes into the nearest folder that exists.
        do {
            path = path.parent_path();
        } while (!path.empty() && path != path.root_path() && !fs::exists(path, ec));
        if (path.empty()) path = ".";
        if (!fs::is_directory(path, ec)) return reason(ENOTDIR);
    }
    // A read-only file system says so here too, whoever runs the program.
    if (::access(path.c_str(), W_OK) != 0) return reason(errno);
    return {};
}

}  // namespace vantrel::app

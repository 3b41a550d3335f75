// Text conversions for the window.
#include "app/qt_text.h"

#include <QFile>
#include <QStringList>

#include "core/encoding.h"

namespace vantrel::app {

QString toQt(std::string_view text) {
    const std::string utf8 = asUtf8(text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString subtitleTextToQt(std::string_view text) { return toQt(text); }

std::string fromQt(const QString& text) { return text.toStdString(); }

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString displayPath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

QString dialogFilter(std::string_view filter) {
    const QStringList parts = QString::fromLatin1(filter.data(), static_cast<qsizetype>(filter.size()))
                                  .split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) p = p.trimmed();
        const QString list = QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
        // A description that already ends with its patterns keeps them once.
        entries << (parts[i].endsWith(list) ? parts[i] : parts[i] + QLatin1Char(' ') + list);
    }
    return entries.join(QStringLiteral(";;"));
}

}  // namespace vantrel::app

// The About text and the changelog.
#include "app/about_text.h"

#include "core/version.h"

namespace vantrel::app {

QString aboutText() {
    return QStringLiteral(
               "<p><span style=\"font-size:12pt; font-weight:bold; color:#000088;\">Vantrel</span> "
               "<span style=\"color:#666699;\">v%1</span></p>")
               .arg(QString::fromLatin1(kVersionText)) +
           QStringLiteral(
        "<p>A tool for the graphic subtitles of high-definition discs. It reads Blu-ray "
        "presentation graphics and HD DVD or DVD subpicture streams (<i>.sup</i>), shows every "
        "subtitle as a 1920x1080 picture, recognises the text and saves it as SubRip "
        "(<i>.srt</i>), imports SRT files, and exports new streams, pictures and authoring "
        "scripts.</p>"
        "<p><b>Getting started:</b> open a stream with the folder button or drop it on the "
        "window. With <i>Auto read</i> on it loads at once; the <i>Image</i> page shows the "
        "subtitles. Drag a subtitle to move it, double-click it to put it on the last line.</p>"
        "<p>Everything about the program is in its <a href=\"readme\">read-me file</a>: "
        "<a href=\"readme\">the two commands</a>, <a href=\"readme\">the command line</a> and "
        "the options.</p>"
        "<p style=\"color:#666699;\">Settings are kept per user and restored at the next start.</p>");
}

QString changelogText() {
    return QStringLiteral(
        "0.53b2\n"
        "- The window: viewer with fit and full view, dragging and centring subtitles.\n"
        "- Settings kept per user in an INI file.\n"
        "- Long jobs put the window back whatever way they end.\n"
        "- A load or a drop is refused while another load runs.\n"
        "\n"
        "0.53b1\n"
        "- Blu-ray and HD DVD / DVD stream reading with detailed dumps.\n"
        "- Message log with formatted lines, status bar with error badge.\n"
        "- Headless command line: vantrel-cli info.\n");
}

}  // namespace vantrel::app

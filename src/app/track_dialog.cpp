// Choosing the subtitle track of a film before it is loaded.
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>

#include "app/main_window.h"
#include "app/qt_text.h"
#include "core/log_names.h"
#include "stream/container.h"

namespace vantrel::app {

namespace {

// A stream file starts with its marker: no need to load the container library for it.
bool streamMarker(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(2);
    return head == "PG" || head == "SP";
}

}  // namespace

int TfMain::chooseTrack(const QString& file, const QStringList& tracks, int proposed) {
    QInputDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Subtitle track"));
    dialog.setLabelText(QStringLiteral("%1 holds %2 subtitle tracks. Load which one?")
                            .arg(QFileInfo(file).fileName())
                            .arg(tracks.size()));
    dialog.setComboBoxItems(tracks);
    dialog.setComboBoxEditable(false);
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    if (proposed >= 0 && proposed < tracks.size()) dialog.setTextValue(tracks[proposed]);
    if (dialog.exec() != QDialog::Accepted) return -1;
    return static_cast<int>(tracks.indexOf(dialog.textValue()));
}

bool TfMain::askTrack() {
    prog.track = -1;
    const QString file = displayPath(prog.eSUPfile);
    if (file.isEmpty() || !QFileInfo(file).isFile() || streamMarker(file)) return true;
    ContainerInfo info;
    try {
        if (!isContainer(prog.eSUPfile)) return true;
        info = listTracks(prog.eSUPfile, false);
    } catch (const PlatformError&) {
        return true;   // the load says what is wrong with the file
    }
    if (info.tracks.size() < 2) return true;
    // Each line says language, title and flags; the forced track stands out.
    QStringList items;
    int proposed = -1;
    for (const SubtitleTrack& t : info.tracks) {
        items << (t.forced ? QStringLiteral("[forced] ") : QString()) + toQt(describeTrack(t, false));
        if (t.pgs && (proposed < 0 || !info.tracks[static_cast<size_t>(proposed)].pgs)) proposed = t.index;
        if (t.picture && proposed < 0) proposed = t.index;
    }
    const int chosen = chooseTrack(file, items, std::max(proposed, 0));
    if (chosen < 0 || chosen >= static_cast<int>(info.tracks.size())) {
        msg.log2("No subtitle track of " + logName(fileNameOnly(prog.eSUPfile)) + " was chosen: nothing loaded.");
        return false;
    }
    prog.track = chosen;
    return true;
}

}  // namespace vantrel::app

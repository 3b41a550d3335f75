// The window's stream export command.
#include <QPushButton>

#include "app/bindings.h"
#include "app/main_window.h"
#include "export/writers.h"

namespace vantrel::app {
namespace {

void bExportClick(TfMain& w) {
    Program& p = w.prog;
    const std::string fileName = exportFileName(p.BaseName, w.opt.rgFormat, w.opt.rgFrame);
    TfMain::JobSpec job;
    job.mode = w.opt.rgFormat == 0 ? &Program::ExportingBD : &Program::ExportingHD;
    int logged = 0;
    const TfMain::JobEnd end = w.runJob(job, [&] {
        w.setProgress(0, static_cast<int>(p.Subs.size()));
        w.msg.log2("Exporting subtitle stream: " + fileName);
        w.msg.slog("Exporting...", 0);
        logged = writeStreamFile(w.ctx, fileName);
    });
    if (end == TfMain::JobEnd::Refused || end == TfMain::JobEnd::Failed) return;
    w.showSubtitle(1);
    // "Ready" and "Done." take the place of the last log line: keep the writer's own lines.
    if (logged > 0) w.msg.log("");
    w.msg.slog2("Ready", "");
    if (end != TfMain::JobEnd::Cancelled) w.msg.logn("Done.");
    w.msg.log("");
}

}  // namespace

void bindExport(TfMain& w) {
    QObject::connect(w.bExport, &QPushButton::clicked, &w, [&w] { bExportClick(w); });
}

}  // namespace vantrel::app

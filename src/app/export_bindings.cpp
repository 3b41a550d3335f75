// The window's stream export command and the check of a Blu-ray stream.
#include <QBoxLayout>
#include <QPushButton>

#include "app/bindings.h"
#include "app/main_window.h"
#include "core/log_names.h"
#include "core/table_state.h"
#include "export/writers.h"
#include "platform/files.h"
#include "stream/pgs_check.h"

namespace vantrel::app {
namespace {

void bExportClick(TfMain& w) {
    // Nothing to export: no file is written and nothing reports "Done.".
    if (w.prog.Subs.empty()) {
        w.beep();
        return;
    }
    // Next to the source (or in the output folder), named with its full path in the log.
    const std::string fileName = w.outputFolder() + "/" + exportFileName(w.ctx);
    ExportResult result = ExportResult::Refused;
    w.guarded([&] { result = exportStream(w.ctx, fileName); });
    // The places of the subtitles are in the stream now.
    if (result == ExportResult::Done) markLayoutSaved(w.prog);
}

// Checks the stream named in the file field against the disc decoder model and writes the
// report into the log, one line per violation.
void bCheckClick(TfMain& w) {
    Program& p = w.prog;
    if (p.Busy || p.Loading) return;
    if (p.eSUPfile.empty()) {
        w.msg.log2("Check stream: no stream file given.");
        return;
    }
    w.msg.log2("Checking stream: " + p.eSUPfile);
    try {
        const CheckReport report = checkPgsFile(p.eSUPfile);
        const std::vector<std::string> lines = checkReportLines(report);
        for (size_t i = 0; i + 1 < lines.size(); ++i) w.msg.log(lines[i]);
        if (report.clean()) w.msg.log(lines.back());
        else w.msg.erlog(lines.back());
    } catch (const PlatformError& e) {
        w.msg.erlog(e.what());
    }
    w.msg.log("");
}

}  // namespace

void bindExport(TfMain& w) {
    QObject::connect(w.bExport, &QPushButton::clicked, &w, [&w] { bExportClick(w); });
    // "Check stream" sits left of the export button.
    auto* check = new QPushButton(QStringLiteral("Chec&k stream"), w.bExport->parentWidget());
    check->setObjectName(QStringLiteral("bCheck"));
    if (auto* row = qobject_cast<QBoxLayout*>(w.bExport->parentWidget()->layout()))
        row->insertWidget(row->indexOf(w.bExport), check);
    QObject::connect(check, &QPushButton::clicked, &w, [&w] { bCheckClick(w); });
}

}  // namespace vantrel::app

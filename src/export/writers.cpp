// The export command: the chosen writer into a temporary file, with the busy state, progress
// and log lines around it.
#include "export/writers.h"

#include "core/job.h"
#include "core/log_names.h"

namespace vantrel {

int writeStreamFile(Context& ctx, const std::string& fileName) {
    // The output file is written beside the target and takes its name only when complete.
    return ctx.opt.rgFormat == 0 ? expBD(ctx, fileName) : expHD(ctx, fileName);
}

ExportResult exportStream(Context& ctx, const std::string& fileName) {
    Program& p = ctx.prog;
    // An empty table has nothing to export: no file is written and nothing reports "Done.".
    if (p.Subs.empty() || refuseWhileWorking(ctx)) return ExportResult::Refused;
    int logged = 0;
    bool cancelled = false;
    {
        JobScope job(ctx, {ctx.opt.rgFormat == 0 ? &Program::ExportingBD : &Program::ExportingHD});
        ctx.msg.log2("Exporting subtitle stream: " + logName(fileName));
        ctx.msg.slog("Exporting...", 0);
        ctx.host().setProgress(0, static_cast<int>(p.Subs.size()));
        logged = writeStreamFile(ctx, fileName);
        cancelled = job.cancelled();
    }
    ctx.host().displaySubtitle(1);
    // "Ready" and "Done." take the place of the last log line: keep the writer's own lines.
    if (logged > 0) ctx.msg.log("");
    ctx.msg.slog2("Ready", "");
    if (!cancelled) ctx.msg.logn("Done.");
    ctx.msg.log("");
    return cancelled ? ExportResult::Cancelled : ExportResult::Done;
}
}  // namespace vantrel

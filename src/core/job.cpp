// The busy state of a long job, set and undone in one place.
#include "core/job.h"

#include "core/table_state.h"

namespace vantrel {

bool refuseWhileWorking(Context& ctx) {
    if (!ctx.prog.Busy && !ctx.prog.Loading) return false;
    ctx.host().beep();
    return true;
}

JobScope::JobScope(Context& ctx, const JobSetup& setup)
        : ctx_(ctx), setup_(setup), readBefore_(ctx.prog.controls.bReadSUP) {
    Program& p = ctx_.prog;
    ControlStates& c = p.controls;
    p.Cancel = false;
    p.Busy = true;
    if (setup_.mode) p.*setup_.mode = true;
    c.bCancel = true;
    c.ProgressBar = true;
    c.WebLink = false;
    c.bReadSUP = c.bSaveBMP = c.bExport = c.bOCRall = false;
    if (setup_.hideViewer) c.mSRT = false;
    Host& host = ctx_.host();
    host.setProgress(0, 100);
    host.jobStarted(setup_);
    host.controlsChanged(c);
}

JobScope::~JobScope() {
    Program& p = ctx_.prog;
    ControlStates& c = p.controls;
    p.Busy = false;
    p.Cancel = false;
    if (setup_.mode) p.*setup_.mode = false;
    c.bCancel = false;
    c.ProgressBar = false;
    c.WebLink = true;
    c.mSRT = true;
    c.bReadSUP = readBefore_;
    // The commands that work on the table come back as the table allows them.
    allowTableCommands(p);
    Host& host = ctx_.host();
    host.jobEnded(setup_);
    host.controlsChanged(c);
    host.setTitle("Vantrel");
}

}  // namespace vantrel

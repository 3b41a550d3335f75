// One long job of the core (export, picture saving, OCR of all, SRT import) and what it
// switches while it runs.
#pragma once

#include "core/context.h"

namespace vantrel {

// What a job changes besides the busy state.
struct JobSetup {
    bool Program::*mode = nullptr;   // ocrRunning, SavingPics, ExportingBD/HD; null for none
    bool showLog = true;             // the window shows its log page and locks the pages
    bool hideViewer = false;         // the window hides the picture and the SRT preview
};

// True when a job or a stream load runs already; the host beeps. A second job is refused.
bool refuseWhileWorking(Context& ctx);

// While a JobScope lives the program is busy: Busy and the mode flag set, Cancel cleared,
// bCancel enabled, the progress bar in place of the web link, the commands that start jobs
// disabled. However the job ends, an exception included, the destructor puts it all back:
// the flags cleared, bReadSUP as it was, the commands the table allows enabled
// (allowTableCommands), the progress bar hidden, the title "Vantrel". The host hears of both ends (jobStarted,
// jobEnded) for what only a window has: pages, the picture, navigation buttons.
class JobScope {
public:
    JobScope(Context& ctx, const JobSetup& setup);
    ~JobScope();
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;

    // The user asked to cancel since the job began.
    bool cancelled() const { return ctx_.prog.Cancel; }

private:
    Context& ctx_;
    JobSetup setup_;
    bool readBefore_;   // bReadSUP as the job found it
};

}  // namespace vantrel

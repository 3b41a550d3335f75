// The program state the core tests, benchmarks and fuzz targets work on: a front end that
// records what it is told, the message log, the table and the options, tied in one Context.
#pragma once

#include "core/context.h"
#include "stream/container.h"
#include "support/recording_host.h"

namespace vantrel::testing {

// HostT lets a test answer or record more than RecordingHost does.
template <typename HostT = RecordingHost>
struct BasicTestSession {
    HostT host;
    MessageLog msg{host};
    Program prog;
    Options opt;
    Context ctx{prog, opt, msg};

    BasicTestSession() = default;
    BasicTestSession(const BasicTestSession&) = delete;
    BasicTestSession& operator=(const BasicTestSession&) = delete;
    // A container's track loaded into the table was copied into a temporary stream: it goes
    // with the session, so that long runs (fuzzing) leave none behind.
    ~BasicTestSession() { dropExtractedStream(prog); }
};

using TestSession = BasicTestSession<>;

}  // namespace vantrel::testing

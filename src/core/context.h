// The state a command works on, handed to every operation by reference.
#pragma once

#include <cstddef>

#include "core/message_log.h"
#include "core/options.h"
#include "core/program.h"

namespace vantrel {

struct Context {
    Program& prog;
    Options& opt;
    MessageLog& msg;

    Host& host() { return msg.host(); }
};

// True when Subs[i] takes part in an export, picture saving or OCR of all: every subtitle,
// or only the forced ones when Options::cbForcedOnly is set.
inline bool selectedForJob(const Context& ctx, size_t i) {
    return !ctx.opt.cbForcedOnly || (i < ctx.prog.Subs.size() && ctx.prog.Subs[i].forced != 0);
}

}  // namespace vantrel

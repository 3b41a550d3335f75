// The state a command works on, handed to every operation by reference.
#pragma once

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

}  // namespace vantrel

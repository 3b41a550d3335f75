// The window's stream export command.
#include "app/bindings.h"
#include "app/main_window.h"

namespace vantrel::app {

// bExport gets its handler here (run it through TfMain::runJob).
void bindExport(TfMain&) {}

}  // namespace vantrel::app

// The window's bitmap saving command.
#include "app/bindings.h"
#include "app/main_window.h"

namespace vantrel::app {

// bSaveBMP gets its handler here (run it through TfMain::runJob).
void bindBitmaps(TfMain&) {}

}  // namespace vantrel::app

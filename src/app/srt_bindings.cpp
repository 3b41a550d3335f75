// SRT import and the text editor of the shown subtitle.
#include "app/bindings.h"
#include "app/main_window.h"

namespace vantrel::app {

// mSubtext (change and exit) and cbLock get their handlers here; TfMain::currentRecord()
// is null while the table is empty, and they do nothing then.
void bindSrt(TfMain&) {}

// SRT import call point: the reader and its window side go here (run it through
// TfMain::runJob). Until then a chosen or dropped ".srt" file is not imported.
void ReadSRT(TfMain&, const std::string&) {}

}  // namespace vantrel::app

// The window's OCR commands and the SRT text page.
#include "app/bindings.h"
#include "app/main_window.h"

namespace vantrel::app {

// The OCR buttons (bOCR, bOCRall, bPrev, bNext), rgFont and coLang get their handlers here.
void bindOcr(TfMain&) {}

// The SRT writer builds the text here; until then the page keeps what it shows.
void SUP2Srt(TfMain&) {}

}  // namespace vantrel::app

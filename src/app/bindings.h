// Where each feature joins the window: its buttons' handlers and the window's calls into it.
// TfMain calls every bind function once, at the end of its constructor; a feature fills in
// the body of its own file and touches nothing else of the window.
// The window fills the side panel after every drawing: bind the user's actions (clicked,
// RadioGroup::itemClicked), or block a control's change signal while the window sets it.
// Long jobs are core commands run in a JobScope; the window hears of their start and end
// through its Host hooks and calls them inside TfMain::guarded, which shows their errors.
#pragma once

#include <string>

namespace vantrel::app {

class TfMain;

// OCR of one subtitle and of all (bOCR, bOCRall, bPrev, bNext, rgFont, coLang) and the SRT
// text (bSaveSRT): ocr_bindings.cpp.
void bindOcr(TfMain& w);
// Rebuilds the SRT text in mSRT from the table; called when the SRT page is shown while
// srtDirty is set: ocr_bindings.cpp.
void refreshSrtPage(TfMain& w);

// Stream export (bExport): export_bindings.cpp.
void bindExport(TfMain& w);

// Bitmap saving (bSaveBMP): bitmap_bindings.cpp.
void bindBitmaps(TfMain& w);

// Text editing of the shown subtitle (mSubtext, cbLock): srt_bindings.cpp.
void bindSrt(TfMain& w);
// Imports the SRT file `fileName` (a name the file layer opens) into the table. The window
// calls it after a choice with bbSUP or bOpenSRT, or a drop, once it has checked that no
// other load or job runs and that the glyph atlas is there: srt_bindings.cpp.
void openSrtFile(TfMain& w, const std::string& fileName);

}  // namespace vantrel::app

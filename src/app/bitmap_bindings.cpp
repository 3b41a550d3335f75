// The window's bitmap saving command.
#include <QCheckBox>
#include <QPushButton>

#include "app/bindings.h"
#include "app/main_window.h"
#include "pictures/bitmaps.h"

namespace vantrel::app {
namespace {

void bSaveBMPClick(TfMain& w) {
    if (w.prog.Subs.empty()) {
        w.beep();
        return;
    }
    w.drawView.cbFull = w.cbFull->isChecked();
    const DrawSubView view = w.drawView;
    // The picture folder goes into the output folder, next to the source when none is set.
    Options options = w.opt;
    options.eWorkDir = w.outputFolder();
    Context saving{w.prog, options, w.msg};
    w.guarded([&] { saveBitmaps(saving, view); });
}

}  // namespace

void bindBitmaps(TfMain& w) {
    QObject::connect(w.bSaveBMP, &QPushButton::clicked, &w, [&w] { bSaveBMPClick(w); });
}

}  // namespace vantrel::app

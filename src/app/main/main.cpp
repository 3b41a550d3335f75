// The window program: creates the application and the main window and runs the message loop.
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "ocr/learned/teacher.h"

int main(int argc, char** argv) {
    // Usage and version need no display.
    const std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
    if (const auto status = vantrel::app::answerCommandLine(words, std::cout, std::cerr)) return *status;

    // Before Qt starts any thread: the OCR's Tesseract reads its thread limit when it loads.
    vantrel::limitTeacherThreads();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::app::TfMain window;
    window.show();
    QStringList args = QApplication::arguments();
    args.removeFirst();
    // Start-up runs once the window is up, as its first activation.
    QTimer::singleShot(0, &window, [&window, args] { window.startUp(args); });
    return QApplication::exec();
}

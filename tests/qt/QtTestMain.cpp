// The Qt dialog tests run without a display, on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include <kiv/KIVPlatform.h>

// The host's own beep, installed before any dialog: the Qt toolkit must keep it, and every
// refusal in a dialog is counted by it.
int gHostBeeps = 0;
extern "C" void HostBeep(void) { ++gHostBeeps; }

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    KIVSetBeepProc(HostBeep);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#if defined(__SANITIZE_THREAD__)
// Qt is not built with ThreadSanitizer: the file dialog's helper thread (QFileInfoGather) and
// the main thread meet in Qt's own code under synchronisation ThreadSanitizer cannot see.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n";
}
#endif

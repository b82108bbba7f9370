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

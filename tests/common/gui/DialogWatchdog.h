#pragma once
// A modal dialog that a test did not expect waits for an answer nobody
// gives: the test would hang until the test runner's time limit. The
// watchdog looks at the application's modal widget twice a second and, when
// the same one has stayed up longer than the limit, fails the running test
// naming it and closes it, so that the test goes on and the rest of the
// suite runs.
#include <QtGlobal>

// Starts the watchdog on the running application (call after QApplication
// exists). Dialogs a test answers (WindowFixture::Answer) are closed within
// moments, far below the limit.
void InstallDialogWatchdog();
// How long a modal dialog may stay up, in milliseconds (15 s unless set).
void SetDialogWatchdogLimit(int milliseconds);

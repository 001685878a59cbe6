#pragma once
// The offscreen platform the GUI tests run on reports, as warnings, every
// window operation it cannot do (raising a window, grabbing the keyboard,
// passing on size hints). They are harmless there and would bury a real
// warning in the test output; these drop exactly those, nothing else.
#include <QString>
#include <QtGlobal>

// Whether a message is one of the offscreen platform's known harmless
// notices.
bool IsHarmlessPlatformNotice(QtMsgType type, const QString& message);

// Installs a message handler that drops those notices and passes every
// other message on to the handler that was installed before it.
void InstallQuietPlatformHandler();

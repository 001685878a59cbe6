#include "common/gui/QuietPlatform.h"

#include <QStringList>

namespace {

QtMessageHandler PreviousHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (IsHarmlessPlatformNotice(type, message)) return;
  if (PreviousHandler) PreviousHandler(type, context, message);
}

}  // namespace

bool IsHarmlessPlatformNotice(QtMsgType type, const QString& message) {
  // Whole messages, compared exactly: a new notice, or a known text with
  // more to say, still shows.
  static const QStringList notices = {
      QStringLiteral("This plugin does not support propagateSizeHints()"),
      QStringLiteral("This plugin does not support raise()"),
      QStringLiteral("This plugin does not support grabbing the keyboard"),
  };
  return type == QtWarningMsg && notices.contains(message);
}

void InstallQuietPlatformHandler() {
  const QtMessageHandler previous = qInstallMessageHandler(QuietHandler);
  // Installing twice must not make the handler its own successor.
  if (previous != QuietHandler) PreviousHandler = previous;
}

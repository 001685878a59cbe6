#pragma once
// Text at the widget boundary. The model holds bytes (UTF-8 in practice);
// widgets hold QStrings. These convert one to the other and back.
#include <QString>
#include <string>

inline QString ToQ(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

inline std::string FromQ(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

// Text shown as a menu or button caption: an ampersand of the user's text is
// an ordinary character there, not an access key.
inline QString Literal(const std::string& s) { return ToQ(s).replace('&', QLatin1String("&&")); }

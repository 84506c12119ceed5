#pragma once
#include <QString>

namespace hv {

// The product's display name: the application title with no table open.
inline QString productName() { return QStringLiteral("Hygrovan-RX3"); }

// The file version of the executable at exePath, "0.0.0.0" when none is known.
// Off Windows the version is the one fixed at build time.
QString fileVersion(const QString& exePath);

// The version fixed at build time, empty when the build set none.
QString builtInFileVersion();

}  // namespace hv

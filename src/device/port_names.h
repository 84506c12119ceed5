#pragma once
// How the program's port names ("\\.\COM1" ... "\\.\COM38") reach devices on
// Linux: the environment variable HYGROVAN_COMn names the path for COMn;
// otherwise COMn is the n-th serial device present, USB adapters first:
// /dev/ttyUSB*, then /dev/ttyACM*, then /dev/ttyS*, each in numeric order.
// Any other name is used as a path unchanged.
#include <QString>
#include <QStringList>

namespace hv {

// The COM number of a "\\.\COMn" name (case-insensitive), or 0.
int comPortNumber(const QString& portName);

// The device path that a port name opens.
QString devicePathForPort(const QString& portName);

// Serial devices present, in the order above.
QStringList presentSerialDevices();

// Orders device names: ttyUSB, ttyACM, ttyS groups, numerically within a group;
// others are dropped.
QStringList orderSerialDevices(const QStringList& deviceNames);

}  // namespace hv

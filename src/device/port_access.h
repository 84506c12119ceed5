#pragma once
// Serial devices refused for lack of permission. On Linux the device of a USB
// serial adapter is usually readable only by its group (dialout on Debian);
// after a fruitless port search the user is told which ports refused and how
// to get access.
#include <QList>
#include <QString>
#include <QStringList>

namespace hv {

// Opens a device as open(2) does (-1 with errno on failure) and notes the path
// when the refusal is EACCES or EPERM.
int openSerialDevice(const QString& path, int flags);

// The function openSerialDevice calls; nullptr restores open(2). Lets the tests
// refuse a device even to root, whom permissions never stop.
using SerialOpenFunction = int (*)(const char* path, int flags);
void setSerialOpenFunction(SerialOpenFunction function);

// Refused paths noted since the last clear, each once, in the order refused.
void clearRefusedPorts();
QStringList refusedPortPaths();

struct RefusedPort {
  QString path;
  QString group;  // the group that owns the device, empty when unknown
};

// The group that owns a path, empty when it cannot be found out.
QString owningGroup(const QString& path);
// The refused paths with their owning groups.
QList<RefusedPort> refusedPorts();
// The name of the user running the program.
QString currentUserName();

// The message after "Прибор не обнаружен!..." that names the refused ports and
// says how to get access; empty when no port was refused.
QString portAccessAdvice(const QList<RefusedPort>& ports, const QString& userName);
// The same for the ports refused since the last clear and the current user.
QString portAccessAdvice();

}  // namespace hv

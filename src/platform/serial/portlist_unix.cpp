// The serial ports Linux has, as Qt lists them from sysfs: ttyS nodes with no
// UART behind them are left out. Nothing is opened.
#include <QFile>
#include <QSerialPortInfo>

#include "comnumbers.h"

std::vector<PresentPort> PresentPorts()
{
    std::vector<PresentPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString description = info.description();
        if (!info.manufacturer().isEmpty())
            description += (description.isEmpty() ? "" : " ") + ("(" + info.manufacturer() + ")");
        // A device's name is bytes, as the system gives them.
        ports.push_back({QFile::encodeName(info.systemLocation()).toStdString(), description.toStdString()});
    }
    return ports;
}

#pragma once

// The memory the system keeps in RAM for this process (its resident set): now, and the most it
// held since the last reset.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace ResidentMemory {

// A figure in kB of /proc/self/status, such as "VmRSS:", in MB; 0 when it cannot be read.
inline double statusMegabytes(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const auto &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

inline double megabytes()
{
    return statusMegabytes("VmRSS:");
}

// Since the last resetPeak().
inline double peakMegabytes()
{
    return statusMegabytes("VmHWM:");
}

// The peak begins anew at what is held now. False when the system does not let it.
inline bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush();
}

}

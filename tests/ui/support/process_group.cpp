#include "support/process_group.h"

#include <csignal>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace tabvoro::test {

namespace {

struct ProcessStat {
    qint64 id = 0;
    QByteArray state;
    qint64 parent = 0;
    qint64 group = 0;
};

// Every process's state, parent and group from /proc.
QList<ProcessStat> processes()
{
    QList<ProcessStat> all;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!entry.toInt() || !stat.open(QIODevice::ReadOnly))
            continue;
        // pid (name) state ppid pgrp ...: the name may hold blanks, so read after its ')'.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2)
            all.push_back({entry.toLongLong(), fields[0], fields[1].toLongLong(), fields[2].toLongLong()});
    }
    return all;
}

}  // namespace

bool groupAlive(qint64 group)
{
    if (::kill(static_cast<pid_t>(-group), 0) != 0)
        return false;
    for (const ProcessStat &process : processes())
        if (process.group == group && process.state != "Z")
            return true;
    return false;
}

bool waitGroupGone(qint64 group, int ms)
{
    for (QDeadlineTimer deadline(ms); !deadline.hasExpired(); QTest::qWait(50))
        if (!groupAlive(group))
            return true;
    return false;
}

QList<qint64> childGroups(qint64 parent)
{
    QList<qint64> groups;
    for (const ProcessStat &process : processes())
        if (process.parent == parent && process.state != "Z" && process.group == process.id)
            groups.push_back(process.group);
    return groups;
}

}  // namespace tabvoro::test

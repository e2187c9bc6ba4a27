// SPDX-License-Identifier: Apache-2.0
#include "RecordTarget.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString FromEnvironment(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

}  // namespace

QString DefaultStateFolder() {
    // systemd may list several folders separated by ':'; ours is the first.
    const QString state = FromEnvironment("STATE_DIRECTORY").section(u':', 0, 0);
    if (!state.isEmpty()) return state;
    const QString xdg = FromEnvironment("XDG_STATE_HOME");
    // A relative XDG path is invalid and is to be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg + QStringLiteral("/quillon");
    return QDir::homePath() + QStringLiteral("/.local/state/quillon");
}

QString DefaultRecordTarget() {
    return DefaultStateFolder() + QStringLiteral("/records.sqlite");
}

bool IsPostgresTarget(const QString& target) {
    return target.startsWith(QStringLiteral("postgresql://")) ||
           target.startsWith(QStringLiteral("postgres://"));
}

QString JournalPathFor(const QString& target, const QString& station) {
    QString safe;
    for (QChar c : station) safe += (c.isLetterOrNumber() || c == u'-' || c == u'_') ? c : u'_';
    const QString name = QStringLiteral("journal-%1.jsonl").arg(safe);
    const QString folder =
        IsPostgresTarget(target) ? DefaultStateFolder() : QFileInfo(target).absolutePath();
    return folder + u'/' + name;
}

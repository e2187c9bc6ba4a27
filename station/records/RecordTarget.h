// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QString>

// Where the record and the journal live when nothing says otherwise.

// $STATE_DIRECTORY (systemd's StateDirectory=), else $XDG_STATE_HOME/quillon, else
// ~/.local/state/quillon.
QString DefaultStateFolder();
// DefaultStateFolder()/records.sqlite: what --db means when it is not given.
QString DefaultRecordTarget();
// Whether target names a PostgreSQL database rather than a SQLite file.
bool IsPostgresTarget(const QString& target);
// The station's journal: beside a SQLite file, or in the state folder for PostgreSQL; named
// after the station so that stations on one host sharing a database never share a journal.
QString JournalPathFor(const QString& target, const QString& station);

// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

// Which announced units this station may wake: a MAC prefix (any of several) and a name pattern.
// Both given: both must match. Neither given: every unit (the station asks for --any first).
class CUnitFilter {
  public:
    CUnitFilter(QStringList macPrefixes, const QString& nameGlob);

    // name is the announced name's bytes as they came: the pattern sees them unchanged.
    bool Matches(const QString& mac, const QByteArray& name) const;

  private:
    QStringList m_macPrefixes;
    QByteArray m_nameGlob;
};

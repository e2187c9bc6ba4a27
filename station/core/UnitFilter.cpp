// SPDX-License-Identifier: Apache-2.0
#include "UnitFilter.h"

#include <fnmatch.h>

#include <utility>

#include "MacMatch.h"

CUnitFilter::CUnitFilter(QStringList macPrefixes, const QString& nameGlob)
    : m_macPrefixes(std::move(macPrefixes)), m_nameGlob(nameGlob.toLocal8Bit()) {}

bool CUnitFilter::Matches(const QString& mac, const QByteArray& name) const {
    if (!m_macPrefixes.isEmpty()) {
        bool any = false;
        for (const QString& prefix : m_macPrefixes) any = any || MacStartsWith(mac, prefix);
        if (!any) return false;
    }
    // fnmatch reads up to a NUL: a name with a NUL in it is matched up to there, and a pattern
    // cannot see past it, which is no wider than the name a person reads.
    return m_nameGlob.isEmpty() || ::fnmatch(m_nameGlob.constData(), name.constData(), 0) == 0;
}

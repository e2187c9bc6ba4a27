// SPDX-License-Identifier: Apache-2.0
#include "qt/QuillonLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

constexpr const char* kQuillonName = "quillon";

}  // namespace

void CQuillonLauncher::FindBeside(const QString& folder) {
    const QFileInfo beside(QDir(folder), QString::fromLatin1(kQuillonName));
    if (!folder.isEmpty() && beside.isFile() && beside.isExecutable()) {
        m_program = beside.absoluteFilePath();
        return;
    }
    m_program = QStandardPaths::findExecutable(QString::fromLatin1(kQuillonName));
}

bool CQuillonLauncher::Open(std::string_view address) const {
    if (!Found()) return false;
    const QString argument =
        QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size()));
    return QProcess::startDetached(m_program, {argument});
}

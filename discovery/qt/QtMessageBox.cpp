// SPDX-License-Identifier: Apache-2.0
#include "qt/QtMessageBox.h"

#include <QMessageBox>
#include <QWidget>

void CQtMessageBox::ShowError(std::string_view title, std::string_view text) {
    QWidget* owner = m_window != nullptr && m_window->isVisible() ? m_window : nullptr;
    QMessageBox box(QMessageBox::NoIcon,
                    QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok, owner);
    box.exec();
}

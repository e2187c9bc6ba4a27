// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "core/WindowLayer.h"

class QWidget;

// The error report's box: modal, one OK button and no icon, over the window once it is shown.
class CQtMessageBox : public IMessageBox {
  public:
    explicit CQtMessageBox(QWidget* window) : m_window(window) {}
    void ShowError(std::string_view title, std::string_view text) override;

  private:
    QWidget* m_window;
};

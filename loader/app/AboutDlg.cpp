// SPDX-License-Identifier: Apache-2.0
#include "AboutDlg.h"

#include "DialogWindow.h"

int CAboutDlg::DoModal() {
    return m_owner.RunAboutBox(*this);
}

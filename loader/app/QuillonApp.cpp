// SPDX-License-Identifier: Apache-2.0
#include "QuillonApp.h"

#include "QuillonDlg.h"

bool CQuillonApp::InitInstance() {
    // The common controls and the control container are the window layer's business.
    SetRegistryKey("Local AppWizard-Generated Applications");
    {
        CQuillonDlg dlg(m_window);
        dlg.SetStartTarget(m_start);
        m_mainWnd = &dlg;
        (void)dlg.DoModal();
        m_mainWnd = nullptr;
    }  // the link goes with the dialog: worker stopped, socket and file closed
    return false;
}

// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QWidget>
#include <memory>

#include "core/FrmMain.h"
#include "qt/QtAnnounceSocket.h"
#include "qt/QtDeviceList.h"
#include "qt/QtImageList.h"
#include "qt/QtMessageBox.h"
#include "qt/QtWindowTimer.h"

// frmMain on screen: a top-level window holding only the device list. It owns the list, its
// image list, the timer and the listener, and forwards its events to CFrmMain.
class CPelliskWindow : public QWidget, public IFormWindow {
    Q_OBJECT
  public:
    // Tests pass another port and their own message box; the program uses neither.
    explicit CPelliskWindow(uint16_t listenPort = kAnnouncePort, IMessageBox* messageBox = nullptr);
    ~CPelliskWindow() override;

    // Runs the start-up sequence; call once, before the window is first shown.
    void Load() { m_frmMain.Form_Load(); }

    int OuterWidth() const override;
    int OuterHeight() const override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    CResult SetOuterWidth(int twips) override;
    CResult SetOuterHeight(int twips) override;
    bool IsMinimised() const override { return isMinimized(); }

    CQtDeviceList& List() { return m_lstDevices; }
    CQtAnnounceSocket& Listener() { return m_sktListenAnnounce; }
    CQtWindowTimer& Timer() { return m_tmrTimeout; }
    CFrmMain& Logic() { return m_frmMain; }
    double TwipsPerPixel() const { return m_twipsPerPixel; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    int ToTwips(int pixels) const;
    int ToPixels(int twips) const;

    double m_twipsPerPixel;
    bool m_unloaded = false;
    CQtImageList m_imgLstIP;
    CQtDeviceList m_lstDevices;
    CQtMessageBox m_ownMessageBox;
    CQtWindowTimer m_tmrTimeout;
    CQtAnnounceSocket m_sktListenAnnounce;
    CFrmMain m_frmMain;
};

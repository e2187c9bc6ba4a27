// SPDX-License-Identifier: Apache-2.0
#include "qt/PelliskWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <cmath>

#include "core/ErrorReport.h"
#include "qt/PelliskIcon.h"

namespace {

double TwipsPerPixelOf(const QWidget& widget) {
    const int dpi = widget.logicalDpiX();
    return dpi > 0 ? 1440.0 / dpi : kTwipsPerPixelAt96Dpi;
}

}  // namespace

CPelliskWindow::CPelliskWindow(uint16_t listenPort, IMessageBox* messageBox)
    : m_twipsPerPixel(TwipsPerPixelOf(*this)),
      m_lstDevices(m_imgLstIP, m_twipsPerPixel, this),
      m_ownMessageBox(this),
      m_tmrTimeout([this] { m_frmMain.tmrTimeout_Timer(); }),
      m_sktListenAnnounce([this] { m_frmMain.sktListenAnnounce_DataArrival(); }),
      m_frmMain(*this, m_lstDevices, m_tmrTimeout,
                messageBox != nullptr ? *messageBox : m_ownMessageBox, m_sktListenAnnounce,
                listenPort) {
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(PelliskAppIcon());
    resize(m_lstDevices.size());
}

CPelliskWindow::~CPelliskWindow() {
    if (!m_unloaded) m_frmMain.Form_Unload();
}

int CPelliskWindow::ToTwips(int pixels) const {
    return static_cast<int>(std::lround(pixels * m_twipsPerPixel));
}

int CPelliskWindow::ToPixels(int twips) const {
    return static_cast<int>(std::lround(twips / m_twipsPerPixel));
}

int CPelliskWindow::OuterWidth() const {
    return ToTwips(frameGeometry().width());
}
int CPelliskWindow::OuterHeight() const {
    return ToTwips(frameGeometry().height());
}
int CPelliskWindow::ClientWidth() const {
    return ToTwips(width());
}
int CPelliskWindow::ClientHeight() const {
    return ToTwips(height());
}

CResult CPelliskWindow::SetOuterWidth(int twips) {
    const int frame = frameGeometry().width() - width();
    const int client = ToPixels(twips) - frame;
    if (client < 0) return FailWith(kErrBadSize);
    resize(client, height());
    return Success();
}

CResult CPelliskWindow::SetOuterHeight(int twips) {
    const int frame = frameGeometry().height() - height();
    const int client = ToPixels(twips) - frame;
    if (client < 0) return FailWith(kErrBadSize);
    resize(width(), client);
    return Success();
}

void CPelliskWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_frmMain.Form_Resize();
}

void CPelliskWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Minimising and restoring are size changes of the window as its logic sees them.
    if (event->type() == QEvent::WindowStateChange) m_frmMain.Form_Resize();
}

void CPelliskWindow::closeEvent(QCloseEvent* event) {
    if (!m_unloaded) m_frmMain.Form_Unload();
    m_unloaded = true;
    event->accept();
}

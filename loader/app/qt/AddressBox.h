// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <QLineEdit>
#include <QString>

// The IP address entry: one line of dotted text that keys, pastes and edits can only leave as
// four fields of 0 to 255. The rules are AddressEntry's; this only feeds it the keys.
class CAddressBox : public QLineEdit {
    Q_OBJECT
  public:
    explicit CAddressBox(QWidget* parent = nullptr);

    // The last refusal shown, empty while none was.
    const QString& LastRefusal() const { return m_refusal; }
    // Shows why the key or paste was refused. A tooltip under the box, not a modal box, so
    // that typing carries on; the refused key has changed nothing.
    void ShowRefusal(const QString& message);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString m_refusal;
};

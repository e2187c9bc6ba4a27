// SPDX-License-Identifier: Apache-2.0
#include "AddressBox.h"

#include <QKeyEvent>
#include <QToolTip>
#include <QValidator>

#include "AddressEntry.h"

namespace {

constexpr int kRefusalShownMs = 4000;

// Whatever is not typed key by key (pastes, cuts, drops, a set value) is checked whole.
class CAddressValidator : public QValidator {
    Q_OBJECT
  public:
    explicit CAddressValidator(CAddressBox* box) : QValidator(box), m_box(box) {}

    State validate(QString& input, int& pos) const override {
        (void)pos;
        std::string message;
        if (CheckAddressText(input.toStdString(), message)) return Acceptable;
        m_box->ShowRefusal(QString::fromStdString(message));
        return Invalid;
    }

  private:
    CAddressBox* m_box;
};

}  // namespace

CAddressBox::CAddressBox(QWidget* parent) : QLineEdit(parent) {
    setValidator(new CAddressValidator(this));
}

void CAddressBox::ShowRefusal(const QString& message) {
    m_refusal = message;
    QToolTip::showText(mapToGlobal(QPoint(0, height())), message, this, QRect(), kRefusalShownMs);
}

void CAddressBox::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool erase = event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
    const QString typed = event->text();
    const bool printable = typed.size() == 1 && typed[0].isPrint();
    if (modifiers != Qt::NoModifier || isReadOnly() || (!printable && !erase) ||
        (erase && hasSelectedText())) {
        QLineEdit::keyPressEvent(event);  // selections, caret moves, shortcuts
        return;
    }
    event->accept();
    CAddressEdit edit{text().toStdString(), static_cast<size_t>(cursorPosition())};
    if (hasSelectedText()) {
        // The typed key replaces the selection, as long as what is left is an address.
        QString left = text();
        left.remove(selectionStart(), selectedText().size());
        std::string unused;
        if (!CheckAddressText(left.toStdString(), unused)) return;
        edit = {left.toStdString(), static_cast<size_t>(selectionStart())};
    }
    std::string message;
    const char key = typed.isEmpty() ? '\0' : typed[0].toLatin1();
    const EAddressKey outcome = erase ? EraseAddressChar(edit, event->key() == Qt::Key_Backspace)
                                      : TypeAddressChar(edit, key, message);
    if (outcome == EAddressKey::kRefused) {
        ShowRefusal(QString::fromStdString(message));
    } else if (outcome == EAddressKey::kChanged) {
        const QString changed = QString::fromStdString(edit.text);
        if (changed != text()) setText(changed);
        setCursorPosition(static_cast<int>(edit.caret));
    }
}

#include "AddressBox.moc"

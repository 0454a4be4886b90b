#include "server/dialogs/ip_address_edit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace {

bool IsDigitText(const QString& text) {
    return text.size() == 1 && text[0] >= u'0' && text[0] <= u'9';
}

// The clipboard's text when it is a whole dotted address.
std::optional<korrind::AddressBytes> ClipboardAddress() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return std::nullopt;
    return korrind::ParseDottedAddress(clipboard->text().trimmed().toStdString());
}

} // namespace

IpOctetEdit::IpOctetEdit(IpAddressEdit* control, int index)
    : QLineEdit(control), control_(control), index_(index) {
    setObjectName(QStringLiteral("field%1").arg(index));
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    int width = fontMetrics().horizontalAdvance(QStringLiteral("0000"));
    setFixedWidth(width);
    // Tab moves between controls, not between the four fields.
    if (index > 0)
        setFocusPolicy(Qt::ClickFocus);
}

void IpOctetEdit::keyPressEvent(QKeyEvent* event) {
    bool atStart = cursorPosition() == 0 && !hasSelectedText();
    bool atEnd = cursorPosition() == text().size() && !hasSelectedText();
    if (event->matches(QKeySequence::Paste)) {
        if (auto bytes = ClipboardAddress()) {
            control_->SetAddress(*bytes);
            control_->SetFieldFocus(3);
            return;
        }
    }
    switch (event->key()) {
    case Qt::Key_Period:
        if (!text().isEmpty() && index_ < 3)
            control_->SetFieldFocus(index_ + 1);
        return;
    case Qt::Key_Backspace:
    case Qt::Key_Left:
        if (atStart && index_ > 0 &&
            (event->key() == Qt::Key_Backspace || event->modifiers() == Qt::NoModifier)) {
            control_->SetCaret(index_ - 1, true);
            return;
        }
        break;
    case Qt::Key_Right:
        if (atEnd && index_ < 3 && event->modifiers() == Qt::NoModifier) {
            control_->SetCaret(index_ + 1, false);
            return;
        }
        break;
    default:
        break;
    }
    bool digit = IsDigitText(event->text());
    bool printable = !event->text().isEmpty() && event->text()[0].isPrint() &&
                     !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (printable && !digit)
        return; // only digits go into a field
    if (digit && !hasSelectedText() && text().size() >= 3) {
        // A full field: the digit starts the next one.
        if (index_ < 3) {
            control_->SetFieldFocus(index_ + 1);
            QLineEdit* next = control_->FieldEdit(index_ + 1);
            next->setText(event->text());
            control_->OnFieldEdited(index_ + 1, next->text());
        }
        return;
    }
    QLineEdit::keyPressEvent(event);
    if (digit && text().size() == 3 && cursorPosition() == 3 && index_ < 3)
        control_->SetFieldFocus(index_ + 1);
}

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        auto* field = new IpOctetEdit(this, i);
        fields_[static_cast<size_t>(i)] = field;
        if (i > 0)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
        layout->addWidget(field);
        connect(field, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { OnFieldEdited(i, text); });
    }
    layout->addStretch();
    // Not a tab stop of its own (the first field is), but labels with a
    // mnemonic only pass the focus to a control that takes it. Set before
    // the proxy, which would otherwise inherit the policy.
    setFocusPolicy(Qt::ClickFocus);
    setFocusProxy(fields_[0]);
}

int IpAddressEdit::GetAddress(korrind::AddressBytes* bytes) const {
    int filled = 0;
    for (int i = 0; i < 4; ++i) {
        int value = Field(i);
        if (value >= 0)
            ++filled;
        if (bytes)
            (*bytes)[static_cast<size_t>(i)] = static_cast<uint8_t>(value < 0 ? 0 : value);
    }
    return filled;
}

bool IpAddressEdit::IsBlank() const {
    return GetAddress(nullptr) == 0;
}

void IpAddressEdit::SetAddress(const korrind::AddressBytes& bytes) {
    for (int i = 0; i < 4; ++i)
        SetField(i, bytes[static_cast<size_t>(i)]);
}

void IpAddressEdit::ClearAddress() {
    for (int i = 0; i < 4; ++i)
        SetField(i, -1);
}

int IpAddressEdit::Field(int index) const {
    QString text = fields_[static_cast<size_t>(index)]->text();
    if (text.isEmpty())
        return -1;
    bool ok = false;
    int value = text.toInt(&ok);
    return ok ? std::min(value, 255) : -1;
}

void IpAddressEdit::SetField(int index, int value) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    field->setText(value < 0 ? QString() : QString::number(std::min(value, 255)));
}

void IpAddressEdit::SetFieldFocus(int index) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void IpAddressEdit::SetCaret(int index, bool atEnd) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    field->deselect();
    field->setCursorPosition(atEnd ? static_cast<int>(field->text().size()) : 0);
}

bool IpAddressEdit::FillFromDottedText(const QString& text) {
    auto bytes = korrind::ParseDottedAddress(text.trimmed().toStdString());
    if (!bytes)
        return false;
    SetAddress(*bytes);
    SetFieldFocus(3);
    return true;
}

// Keeps a field to at most three digits of value 255 or less, whatever was
// typed, pasted or dropped into it.
void IpAddressEdit::OnFieldEdited(int index, const QString& text) {
    QLineEdit* field = fields_[static_cast<size_t>(index)];
    QString digits;
    bool other = false;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits.append(c);
        else
            other = true;
    }
    if (other) {
        // A dotted address pasted through the context menu or dropped.
        if (FillFromDottedText(text))
            return;
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard && text.contains(clipboard->text().trimmed()) &&
            FillFromDottedText(clipboard->text()))
            return;
    }
    if (digits.size() > 3)
        digits.truncate(3);
    if (!digits.isEmpty() && digits.toInt() > 255)
        digits = QStringLiteral("255");
    if (digits != text) {
        int cursor = std::min(field->cursorPosition(), static_cast<int>(digits.size()));
        field->setText(digits);
        field->setCursorPosition(cursor);
    }
}

// IpAddressEdit: the IP address control of the dialogs. Four fields of 0 to
// 255, each of which may be blank, behaving as users know it from other
// systems: a dot or a third digit moves on to the next field, Backspace at
// the start of a field and the arrow keys move between fields, and pasting
// a dotted address fills all four. Tab leaves the control as a whole.
#pragma once

#include "platform/wintypes.h"
#include "server/dialogs/address_rules.h"

#include <QFrame>
#include <QLineEdit>

#include <array>

class IpAddressEdit;

// One of the four fields; the control owns its keyboard rules.
class IpOctetEdit : public QLineEdit {
    Q_OBJECT
public:
    IpOctetEdit(IpAddressEdit* control, int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    IpAddressEdit* control_;
    int index_;
};

class IpAddressEdit : public QFrame {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // Version of the control in the packed form of the common controls'
    // version query: major in the high word, minor in the low word. The
    // application's GetComCtlVersion reports it (major = Version() >> 16,
    // minor = Version() & 0xFFFF); 4.72 supports everything the entry
    // dialogs need from an IP address control.
    static constexpr DWORD PackVersion(DWORD major, DWORD minor) { return (major << 16) | minor; }
    static DWORD Version() { return PackVersion(4, 72); }

    // Number of fields holding a value; the address with blank fields as 0.
    int GetAddress(korrind::AddressBytes* bytes) const;
    bool IsBlank() const;
    void SetAddress(const korrind::AddressBytes& bytes);
    void ClearAddress();

    // Field value 0-255, or -1 when the field is blank.
    int Field(int index) const;
    void SetField(int index, int value);
    // Puts the caret into a field with its text selected.
    void SetFieldFocus(int index);
    // Puts the caret at the start or the end of a field.
    void SetCaret(int index, bool atEnd);
    IpOctetEdit* FieldEdit(int index) const { return fields_[static_cast<size_t>(index)]; }

private:
    friend class IpOctetEdit;
    void OnFieldEdited(int index, const QString& text);
    bool FillFromDottedText(const QString& text);

    std::array<IpOctetEdit*, 4> fields_{};
};

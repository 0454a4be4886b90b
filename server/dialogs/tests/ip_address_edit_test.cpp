#include "server/dialogs/ip_address_edit.h"
#include "server/dialogs/ip_address_field.h"

#include <QApplication>
#include <QClipboard>
#include <QtTest>

class IpAddressEditTest : public QObject {
    Q_OBJECT

private:
    // A shown, active control so that keys reach the focused field.
    struct Shown {
        QWidget window;
        IpAddressEdit* edit = new IpAddressEdit(&window);
        Shown() {
            window.show();
            window.activateWindow();
            edit->setFocus();
        }
    };

    // Each key goes where the keyboard focus is at that moment.
    static void Type(const QString& keys) {
        for (QChar c : keys)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }

    static QString Text(const IpAddressEdit& edit) {
        QStringList parts;
        for (int i = 0; i < 4; ++i)
            parts << edit.FieldEdit(i)->text();
        return parts.join('.');
    }

private slots:
    void countsFilledFields() {
        IpAddressEdit edit;
        QVERIFY(edit.IsBlank());
        edit.SetField(0, 10);
        edit.SetField(2, 0);
        korrind::AddressBytes bytes{1, 1, 1, 1};
        QCOMPARE(edit.GetAddress(&bytes), 2);
        QCOMPARE(bytes, (korrind::AddressBytes{10, 0, 0, 0}));
        edit.ClearAddress();
        QVERIFY(edit.IsBlank());
    }

    void typingMovesOnAfterThreeDigitsOrADot() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        Type("192168");
        Type("1.2");
        QCOMPARE(Text(*s.edit), QStringLiteral("192.168.1.2"));
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(3));
        // A digit typed into a full field starts the next one.
        s.edit->ClearAddress();
        s.edit->FieldEdit(0)->setFocus();
        Type("1921681002");
        QCOMPARE(Text(*s.edit), QStringLiteral("192.168.100.2"));
    }

    void aDotInAnEmptyFieldStays() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        Type(".");
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(0));
    }

    void lettersAreIgnoredAndValuesCappedAt255() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        Type("x9a99");
        QCOMPARE(s.edit->FieldEdit(0)->text(), QStringLiteral("255"));
        QCOMPARE(s.edit->Field(0), 255);
    }

    void backspaceAtFieldStartMovesBack() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        Type("10.");
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QCOMPARE(s.edit->FieldEdit(0)->text(), QStringLiteral("1"));
        // The arrows cross from the end of one field to the start of the next.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(QApplication::focusWidget(), s.edit->FieldEdit(0));
    }

    void pastingADottedAddressFillsAllFields() {
        Shown s;
        QVERIFY(QTest::qWaitForWindowActive(&s.window));
        QApplication::clipboard()->setText(QStringLiteral("10.1.2.3"));
        QTest::keySequence(QApplication::focusWidget(), QKeySequence::Paste);
        QCOMPARE(Text(*s.edit), QStringLiteral("10.1.2.3"));
        // Also through the field's own paste (the context menu's way).
        s.edit->ClearAddress();
        QApplication::clipboard()->setText(QStringLiteral("172.16.0.9"));
        s.edit->FieldEdit(0)->setFocus();
        s.edit->FieldEdit(0)->paste();
        QCOMPARE(Text(*s.edit), QStringLiteral("172.16.0.9"));
    }

    void tabLeavesTheControl() {
        QWidget window;
        auto* edit = new IpAddressEdit(&window);
        auto* after = new QLineEdit(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QCOMPARE(QApplication::focusWidget(), edit->FieldEdit(0));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
    }

    void fieldSetTextAndGetText() {
        IpAddressEdit edit;
        IpAddressField field;
        field.Attach(&edit);
        std::string text = "stale";
        QCOMPARE(field.GetText(&text), 0);
        QCOMPARE(text, std::string());
        QCOMPARE(field.IsBlank(), 1);
        QCOMPARE(field.SetText("10.1.2.3"), 1);
        QCOMPARE(field.SetText("10.1.2"), 0); // refused texts leave the control alone
        QCOMPARE(field.SetText("10.1.2.256"), 0);
        QCOMPARE(field.GetText(&text), 4);
        QCOMPARE(text, std::string("10.1.2.3"));
        edit.SetField(2, -1);
        QCOMPARE(field.GetText(&text), 3);
        QCOMPARE(text, std::string());
        QCOMPARE(field.IsBlank(), 0);
    }

    void fieldAcceptAppliesTheMaskRule() {
        IpAddressEdit edit;
        IpAddressField field;
        field.Attach(&edit);
        for (const char* mask : {"255.255.255.0", "255.255.0.0", "0.0.0.0"}) {
            QCOMPARE(field.SetText(mask), 1);
            QCOMPARE(field.Accept(1), 1);
            QCOMPARE(field.AcceptedText(), std::string(mask));
        }
        for (const char* mask : {"255.0.255.0", "255.255.255.255"}) {
            field.SetAcceptedText("0.0.0.0");
            QCOMPARE(field.SetText(mask), 1);
            QCOMPARE(field.Accept(1), 0);
            QCOMPARE(field.AcceptedText(), std::string("0.0.0.0"));
            // As an address it is fine.
            QCOMPARE(field.Accept(0), 1);
        }
        edit.SetField(2, -1);
        QCOMPARE(field.Accept(1), 0);
        QCOMPARE(field.Accept(0), 0);
    }
};

QTEST_MAIN(IpAddressEditTest)
#include "ip_address_edit_test.moc"

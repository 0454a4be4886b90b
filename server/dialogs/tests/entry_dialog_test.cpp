#include "dialog_fixture.h"

#include "server/dialogs/defaults_dlg.h"
#include "server/dialogs/dialog_commands.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_dlg.h"
#include "server/dialogs/help.h"

#include <QComboBox>
#include <QLineEdit>

using namespace dialogtest;
using namespace korrind;

class EntryDialogTest : public QObject {
    Q_OBJECT

    // Fills every control of an add dialog with good values.
    static void FillGood(CEntryDlg& dialog) {
        Control<QComboBox>(dialog, kIdAddressBox)->setEditText(QStringLiteral("02004C123456"));
        Control<QLineEdit>(dialog, kIdHostName)->setText(QStringLiteral("lab1"));
        Control<QLineEdit>(dialog, kIdComment)->setText(QStringLiteral("bench"));
        SetAddress(dialog, kIdIpAddress, "10.1.1.5");
        SetAddress(dialog, kIdSubnetMask, "255.255.255.0");
        SetAddress(dialog, kIdGateway, "10.1.1.1");
    }

    static void ShowActive(QDialog& dialog) {
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
    }

private slots:
    void addModeOffersRecentAddressesAndDefaults() {
        Table table(kHeader);
        table.doc->InsertHAEntry("02004C0000AA");
        table.doc->InsertHAEntry("02004C0000BB");
        CEntryDlg dialog(table.doc.get());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Add Bootp Entry"));
        auto* box = Control<QComboBox>(dialog, kIdAddressBox);
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("02004C0000AA"));
        QCOMPARE(box->currentText(), QStringLiteral("02004C0000AA"));
        QVERIFY(box->isEnabled());
        korrind::AddressBytes bytes{};
        QCOMPARE(Control<IpAddressEdit>(dialog, kIdGateway)->GetAddress(&bytes), 4);
        QCOMPARE(bytes, (AddressBytes{10, 1, 1, 1}));
        QCOMPARE(Control<IpAddressEdit>(dialog, kIdSubnetMask)->GetAddress(&bytes), 4);
        QCOMPARE(bytes, (AddressBytes{255, 255, 255, 0}));
        QVERIFY(Control<IpAddressEdit>(dialog, kIdIpAddress)->IsBlank());
        QCOMPARE(Control<QLineEdit>(dialog, kIdComment)->maxLength(), 64);
    }

    void typedAddressIsShownAndStoredInUpperCase() {
        Table table(kHeader);
        CEntryDlg dialog(table.doc.get());
        FillGood(dialog);
        ShowActive(dialog);
        auto* box = Control<QComboBox>(dialog, kIdAddressBox);
        box->setEditText(QString());
        box->setFocus();
        QTest::keyClicks(box->lineEdit(), "02004c123456");
        QCOMPARE(box->currentText(), QStringLiteral("02004C123456"));
        Click(dialog, kIdOk);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Values().hardwareAddress, std::string("02004C123456"));
        QCOMPARE(dialog.Values().gateway, std::string("10.1.1.1"));
    }

    void eachFailureShowsItsMessageAndFocus_data() {
        QTest::addColumn<int>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("11 digits") << kIdAddressBox << "02004C12345" << kInvalidHardwareAddress;
        QTest::newRow("14 digits") << kIdAddressBox << "02004C123456FF" << kInvalidHardwareAddress;
        QTest::newRow("duplicate address")
            << kIdAddressBox << "02004c000001" << kDuplicateHardwareAddress;
        QTest::newRow("mask with a hole") << kIdSubnetMask << "255.0.255.0" << kInvalidSubnetMask;
        QTest::newRow("mask all ones") << kIdSubnetMask << "255.255.255.255" << kInvalidSubnetMask;
        QTest::newRow("blank mask") << kIdSubnetMask << "" << kInvalidSubnetMask;
        QTest::newRow("blank IP") << kIdIpAddress << "" << kInvalidIp;
        QTest::newRow("1lab") << kIdHostName << "1lab" << kInvalidHostName;
        QTest::newRow("lab-") << kIdHostName << "lab-" << kInvalidHostName;
        QTest::newRow("lab.") << kIdHostName << "lab." << kInvalidHostName;
        QTest::newRow("la_b") << kIdHostName << "la_b" << kInvalidHostName;
        QTest::newRow("duplicate name") << kIdHostName << "ALPHA" << kDuplicateHostName;
    }

    void eachFailureShowsItsMessageAndFocus() {
        QFETCH(int, control);
        QFETCH(QString, value);
        QFETCH(QString, message);
        Table table(kHeader + Block("alpha", "02004C000001", "10.1.1.9"));
        table.doc->EntryRows().Append(
            MakeEntryRow({"02004C000001", "alpha", "10.1.1.9", "", "", ""}));
        Messages messages;
        CEntryDlg dialog(table.doc.get());
        FillGood(dialog);
        if (control == kIdAddressBox)
            Control<QComboBox>(dialog, control)->setEditText(value);
        else if (control == kIdHostName)
            Control<QLineEdit>(dialog, control)->setText(value);
        else
            SetAddress(dialog, control, value.toLatin1().constData());
        ShowActive(dialog);
        Click(dialog, kIdOk);
        QCOMPARE(messages.texts, std::vector<std::string>{message.toStdString()});
        QVERIFY(dialog.isVisible());
        QVERIFY(HasFocus(dialog, control));
    }

    void theTypedAddressLeavesTheRecentListEvenWhenChecksFail() {
        Table table(kHeader);
        table.doc->InsertHAEntry("02004C0000AA");
        table.doc->InsertHAEntry("02004C0000BB");
        Messages messages;
        CEntryDlg dialog(table.doc.get());
        ShowActive(dialog); // the box shows 02004C0000AA; the IP address is blank
        Click(dialog, kIdOk);
        QCOMPARE(messages.texts, std::vector<std::string>{kInvalidIp});
        QCOMPARE(table.doc->RecentAddresses(), std::deque<std::string>{"02004C0000BB"});
    }

    void modifyModeEditsTheRowAndClearingTheGatewayRemovesIt() {
        Table table(kHeader);
        table.doc->EntryRows().Append(MakeEntryRow(
            {"02004C000001", "alpha", "10.1.1.9", "first", "255.255.0.0", "10.1.1.1"}));
        table.doc->EntryRows().Append(
            MakeEntryRow({"02004C000002", "beta", "10.1.1.8", "", "255.255.0.0", ""}));
        CEntryDlg dialog(table.doc.get(), 0);
        QVERIFY(dialog.IsModifyMode());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Modify Bootp Entry"));
        auto* box = Control<QComboBox>(dialog, kIdAddressBox);
        QCOMPARE(box->currentText(), QStringLiteral("02004C000001"));
        QVERIFY(!box->isEnabled());
        QCOMPARE(Control<QLineEdit>(dialog, kIdHostName)->text(), QStringLiteral("alpha"));
        QCOMPARE(Control<QLineEdit>(dialog, kIdComment)->text(), QStringLiteral("first"));
        ShowActive(dialog);
        SetAddress(dialog, kIdGateway, "");
        Click(dialog, kIdOk); // its own name and address are no duplicates
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Values().gateway, std::string());
        QCOMPARE(dialog.Values().subnetMask, std::string("255.255.0.0"));
        QCOMPARE(dialog.Values().hostName, std::string("alpha"));
    }

    void modifyKeepsAHostNameAsLongAsTheEngineKeeps() {
        Table table(kHeader);
        std::string name = "rack7-" + std::string(64, 'x') + "-node9"; // 76 characters
        table.doc->EntryRows().Append(
            MakeEntryRow({"02004C000001", name, "10.1.1.9", "", "255.255.0.0", ""}));
        CEntryDlg dialog(table.doc.get(), 0);
        ShowActive(dialog);
        Click(dialog, kIdOk);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Values().hostName, name);
    }

    void usableWithTheKeyboardAlone() {
        Table table(kHeader);
        CEntryDlg dialog(table.doc.get());
        ShowActive(dialog);
        QVERIFY(HasFocus(dialog, kIdAddressBox));
        auto type = [](const char* keys) {
            for (const char* k = keys; *k; ++k)
                QTest::keyClick(QApplication::focusWidget(), *k);
        };
        type("02004c123456");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        type("lab1");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        type("10.1.1.5");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(HasFocus(dialog, kIdComment));
        type("bench");
        // Mnemonics reach the fields directly.
        QTest::keyClick(&dialog, Qt::Key_H, Qt::AltModifier);
        QVERIFY(HasFocus(dialog, kIdHostName));
        QTest::keyClick(&dialog, Qt::Key_G, Qt::AltModifier);
        QVERIFY(HasFocus(dialog, kIdGateway));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Values().hostName, std::string("lab1"));
        QCOMPARE(dialog.Values().ipAddress, std::string("10.1.1.5"));
        QCOMPARE(dialog.Values().comment, std::string("bench"));
        QCOMPARE(dialog.Values().subnetMask, std::string("255.255.255.0"));
    }

    void helpOpensTheContextOfTheMode() {
        Table table(kHeader);
        table.doc->EntryRows().Append(
            MakeEntryRow({"02004C000001", "alpha", "10.1.1.9", "", "255.255.0.0", ""}));
        std::vector<QUrl> opened;
        HelpOpener previous = SetHelpOpener([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        CEntryDlg add(table.doc.get());
        Click(add, kIdHelp);
        CEntryDlg modify(table.doc.get(), 0);
        Click(modify, kIdHelp);
        CDefaultsDlg defaults(table.doc.get());
        Click(defaults, kIdHelp);
        SetHelpOpener(std::move(previous));
        QCOMPARE(opened.size(), size_t(3));
        QCOMPARE(opened[0].fragment(), QStringLiteral("20"));
        QCOMPARE(opened[1].fragment(), QStringLiteral("40"));
        QCOMPARE(opened[2].fragment(), QStringLiteral("30"));
        QVERIFY(opened[0].isLocalFile());
        QVERIFY(QFile::exists(opened[0].toLocalFile()));
    }

    void defaultsNeedAMaskAndMayLeaveTheGatewayBlank() {
        Table table(kHeader);
        Messages messages;
        CDefaultsDlg dialog(table.doc.get());
        ShowActive(dialog);
        SetAddress(dialog, kIdSubnetMask, "");
        Click(dialog, kIdOk);
        QCOMPARE(messages.texts, std::vector<std::string>{kDefaultsInvalidMask});
        QVERIFY(HasFocus(dialog, kIdSubnetMask));
        Control<IpAddressEdit>(dialog, kIdGateway)->SetField(0, -1);
        Click(dialog, kIdOk);
        QCOMPARE(messages.texts.back(), std::string(kDefaultsInvalidGateway));
        QVERIFY(HasFocus(dialog, kIdGateway));
        SetAddress(dialog, kIdGateway, "");
        SetAddress(dialog, kIdSubnetMask, "255.255.0.0");
        Click(dialog, kIdOk);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Gateway(), std::string());
        QCOMPARE(dialog.SubnetMask(), std::string("255.255.0.0"));
    }

    void storedDefaultsReachTheFile() {
        Table table(kHeader + Block("alpha", "02004C000001", "10.1.1.9"));
        DocResult stored = StoreDefaultSettings(*table.doc, "", "255.255.0.0");
        QCOMPARE(stored.result, 1);
        QVERIFY(stored.messages.empty());
        QCOMPARE(table.doc->DefaultGateway(), std::string());
        std::string content = table.Content();
        QVERIFY(content.find("global.defaults:\\\r\nsm=255.255.0.0:\\\r\ngw=:\r\n") !=
                std::string::npos);
        QVERIFY(content.find("ha=02004C000001") != std::string::npos);
        CDefaultsDlg dialog(table.doc.get());
        QVERIFY(Control<IpAddressEdit>(dialog, kIdGateway)->IsBlank());
    }

    void menuAddEntryFindsDuplicatesInTheFile() {
        Table table(kHeader + Block("alpha", "02004C000001", "10.1.1.9"));
        Messages messages;
        WhenModal<CEntryDlg>([](CEntryDlg* dialog) {
            FillGood(*dialog);
            Control<QLineEdit>(*dialog, kIdHostName)->setText(QStringLiteral("Alpha"));
            Click(*dialog, kIdOk);
            Click(*dialog, kIdCancel);
        });
        AddEntryFromMenu(*table.doc, nullptr, [] { return 1; });
        QCOMPARE(messages.texts, std::vector<std::string>{kDuplicateHostName});
        QCOMPARE(table.doc->EntryRows().Count(), 1);
        AddEntryFromMenu(*table.doc, nullptr, [] { return 0; });
        QCOMPARE(messages.texts.back(), std::string(kUpgradeComCtl));
    }

    void menuAddEntryWritesAtOnce() {
        Table table(kHeader);
        EntryValues values{"02004C123456", "lab1",          "10.1.1.5",
                           "bench",        "255.255.255.0", "10.1.1.1"};
        DocResult added = AddEntryAndApply(*table.doc, values);
        QCOMPARE(added.result, 1);
        QVERIFY(added.messages.empty());
        QVERIFY(
            table.Content().find("\r\n# bench\r\nlab1:\\\r\nht=1:\\\r\nha=02004C123456:\\\r\n"
                                 "ip=10.1.1.5:\\\r\nsm=255.255.255.0:\\\r\ngw=10.1.1.1:\\\r\n") !=
            std::string::npos);
        // The working list starts again from the re-read table, unmarked.
        QCOMPARE(table.doc->EntryRows().Count(), 1);
        QVERIFY(!table.doc->EntryRows()[0].isNew);
        QCOMPARE(table.doc->EntryRows()[0].Field(FieldComment), std::string_view("bench"));
    }
};

QTEST_MAIN(EntryDialogTest)
#include "entry_dialog_test.moc"

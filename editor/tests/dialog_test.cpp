// The editor's dialogs on the offscreen platform, over a real registry
// folder, the real resource module and real table files.
#include "editor/manager_dlg.h"
#include "editor/resource_ui.h"
#include "editor/secure_file.h"
#include "editor/settings_dlg.h"
#include "platform/messagebox.h"
#include "platform/resources.h"
#include "server/dialogs/ip_address_edit.h"
#include "tests/support/files.h"
#include "tests/support/message_boxes.h"
#include "utils/dravik.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include <fstream>
#include <sstream>

namespace {

const char16_t* kKey = u"SOFTWARE\\Tarvex\\Olvani\\BootpSettings";

std::string ReadFile(const QString& path) {
    return olvani_test::ReadFile(path.toStdString());
}

void Put(const char16_t* name, const QString& value) {
    QVERIFY(ASVeskPutStringKeyInRegistry(HKEY_LOCAL_MACHINE, kKey, name,
                                         value.toStdU16String().c_str()) >= 0);
}

QString Get(const char16_t* name) {
    BSTR text = nullptr;
    if (ASVeskGetStringKeyFromRegistry(HKEY_LOCAL_MACHINE, kKey, name, &text) < 0)
        return QStringLiteral("<missing>");
    QString value = QString::fromUtf16(text, SysStringLen(text));
    SysFreeString(text);
    return value;
}

template <class T> T* Control(QWidget* dialog, int id) {
    T* control = tesslin::FindControl<T>(dialog, id);
    if (!control)
        qFatal("control %d missing", id);
    return control;
}

void SetAddress(QWidget* dialog, int id, korrind::AddressBytes bytes) {
    Control<IpAddressEdit>(dialog, id)->SetAddress(bytes);
}

} // namespace

class DialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir registry_;
    QTemporaryDir files_;
    QString table_;
    int answer_ = IDYES;
    olvani_test::MessageBoxRecorder recorder_{[this](const olvani::MessageBoxRequest& box) {
        return (box.type & 0xF) == MB_YESNO ? answer_ : IDOK;
    }};
    // The boxes shown, each "caption|text".
    std::vector<std::string> Boxes() const { return recorder_.CaptionsAndTexts(); }

private slots:
    void initTestCase() {
        qputenv("OLVANI_REGISTRY_DIR", registry_.path().toUtf8());
        HINSTANCE resources = nullptr;
        QVERIFY(ASLoadResourceFile2(u"tesslin", &resources) >= 0);
        tesslin::SetResourceModule(resources);
    }

    void init() {
        recorder_.Clear();
        answer_ = IDYES;
        table_ = files_.filePath(QStringLiteral("bootptab%1").arg(QTest::currentTestFunction()));
        QFile::remove(table_);
        for (const char16_t* name : {u"Bootptabfile", u"Bootplogfile", u"EnableLogging"})
            Put(name, QString());
    }

    void settingsReadAsDesigned() {
        Put(u"Bootptabfile", table_);
        Put(u"Bootplogfile", QStringLiteral("/var/log/korrind.log"));
        for (auto [value, on] : {std::pair{"TRUE", false}, {"yes", false}, {"1", true}}) {
            Put(u"EnableLogging", QString::fromLatin1(value));
            CEditSettingsDlg dialog;
            QDialog* window = dialog.Create();
            QVERIFY(window);
            QCOMPARE(dialog.LoggingOn(), on);
            QCOMPARE(Control<QLineEdit>(window, 1006)->isEnabled(), on);
            // No table file yet: create mode.
            QVERIFY(dialog.CreateMode());
            QVERIFY(Control<QRadioButton>(window, 1018)->isChecked());
            QVERIFY(!Control<QPushButton>(window, 1038)->isEnabled());
        }
        QVERIFY(Boxes().empty());
    }

    void createTemplateOnceThenOk() {
        Put(u"Bootptabfile", table_);
        CEditSettingsDlg dialog;
        QDialog* window = dialog.Create();
        QVERIFY(window);
        Control<QLineEdit>(window, 1002)->setText(table_);
        SetAddress(window, 1014, {255, 255, 255, 0});
        SetAddress(window, 1013, {192, 168, 1, 1});
        dialog.OnCreateTemplate();
        QCOMPARE(Boxes().size(), size_t(1));
        QVERIFY(Boxes()[0].find("template has been written") != std::string::npos);
        QVERIFY(!dialog.CreateMode());
        const std::string afterTemplate = ReadFile(table_);
        QVERIFY(
            afterTemplate.starts_with(CSecureFile::TableHeader(u"255.255.255.0", u"192.168.1.1")));
        QVERIFY(afterTemplate.ends_with("#T145=64:T146=01:T147=01"));

        // OK after the template: neither asked about again nor appended twice.
        Control<QRadioButton>(window, 1018)->setChecked(true);
        dialog.OnOK();
        QCOMPARE(Boxes().size(), size_t(1));
        QCOMPARE(ReadFile(table_), afterTemplate);
        QCOMPARE(Get(u"Bootptabfile"), table_);
        QCOMPARE(Get(u"EnableLogging"), QStringLiteral("0"));
    }

    void okInCreateModeAnsweredNoWritesNothing() {
        const std::string existing =
            CSecureFile::TableHeader(u"255.255.0.0", u"10.0.0.1") + "\r\n\r\n# kept\r\n";
        std::ofstream(table_.toStdString(), std::ios::binary) << existing;
        Put(u"Bootptabfile", QStringLiteral("/old/table"));
        CEditSettingsDlg dialog;
        QDialog* window = dialog.Create();
        Control<QRadioButton>(window, 1018)->setChecked(true);
        dialog.OnCreateTemplateClick();
        Control<QLineEdit>(window, 1002)->setText(table_);
        answer_ = IDNO;
        recorder_.Clear();
        dialog.OnOK();
        QCOMPARE(Boxes().size(), size_t(1));
        QVERIFY(Boxes()[0].find("already exists") != std::string::npos);
        QCOMPARE(ReadFile(table_), existing);
        QCOMPARE(Get(u"Bootptabfile"), QStringLiteral("/old/table"));
        QCOMPARE(window->result(), 0); // still open
        QVERIFY(Control<QRadioButton>(window, 1019)->isChecked());
    }

    void addChecksAndAppends() {
        std::ofstream(table_.toStdString(), std::ios::binary)
            << CSecureFile::TableHeader(u"255.255.255.0", u"10.0.0.1");
        CBootpManagerDlg manager(table_, QStringLiteral("255.255.255.0"),
                                 QStringLiteral("10.0.0.1"));
        QVERIFY(manager.Create());
        QVERIFY(manager.Empty());
        auto tryAdd = [&](const QString& address, const QString& host) {
            CAddBootpDlg add(table_, QStringLiteral("255.255.255.0"), QStringLiteral("10.0.0.1"),
                             manager.List());
            QDialog* window = add.Create();
            Control<QLineEdit>(window, 1020)->setText(address);
            Control<QLineEdit>(window, 1021)->setText(host);
            SetAddress(window, 1023, {10, 0, 0, 5});
            recorder_.Clear();
            add.OnOK();
            return Boxes().empty() ? std::string() : Boxes().back();
        };
        QVERIFY(tryAdd("00g0b1c2d3e4", "scale").find("12 characters") != std::string::npos);
        QVERIFY(tryAdd("00A0B1C2D3E", "scale").find("12 characters") != std::string::npos);
        QVERIFY(tryAdd("00A0B1C2D3E4", "my.host").find("host name") != std::string::npos);
        QCOMPARE(tryAdd("00a0b1c2d3e4", "my-host"), std::string());
        QCOMPARE(tryAdd("00-0B1C2D3E4", "scale2"), std::string());
        QVERIFY(tryAdd("00a0b1c2d3e4", "again").find("already in") != std::string::npos);
        QCOMPARE(manager.List()->topLevelItemCount(), 2);
        std::vector<BootpRow> rows;
        CBootpTableEntry::LoadIntoList(table_.toStdU16String(), rows);
        QCOMPARE(rows.size(), size_t(2));
        QVERIFY(rows[0].subnetMask == u"255.255.255.0");

        // Delete both; the buttons go grey with the last one.
        for (int i = 0; i < 2; ++i) {
            manager.List()->setCurrentItem(manager.List()->topLevelItem(0));
            manager.OnDelete();
        }
        QVERIFY(manager.Empty());
        rows.clear();
        CBootpTableEntry::LoadIntoList(table_.toStdU16String(), rows);
        QVERIFY(rows.empty());
    }

    void helpOpensTheTopic() {
        QUrl opened;
        tesslin::SetHelpOpener([&](const QUrl& url) {
            opened = url;
            return true;
        });
        CEditSettingsDlg dialog;
        QVERIFY(dialog.Create());
        dialog.Dialog()->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.Dialog()));
        QTest::keyClick(dialog.Dialog(), Qt::Key_F1);
        QCOMPARE(opened.fragment(), QStringLiteral("40001"));
        QVERIFY(QFile::exists(opened.toLocalFile()));
        tesslin::SetHelpOpener({});
    }

    void withoutResourcesTheProgramEndsAtOnce() {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("OLVANI_RESOURCE_DIR"), files_.filePath("none"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TESSLIN_PROGRAM), {});
        QVERIFY(program.waitForFinished(20000));
        QVERIFY(program.exitCode() != 0);
    }
};

QTEST_MAIN(DialogTest)
#include "dialog_test.moc"

// Drives the editor's real dialogs from the command line, for the end-to-end
// test: the settings dialog creates the table, the manager's Add and Modify
// dialogs change it. Any message box shown is printed and fails the command.
//   tesslin_table_tool create   <mask> <gateway>         (table path from the registry)
//   tesslin_table_tool add      <table> <ha> <name> <ip>
//   tesslin_table_tool modify   <table> <ha> <ip>
#include "editor/manager_dlg.h"
#include "editor/resource_ui.h"
#include "editor/settings_dlg.h"
#include "platform/messagebox.h"
#include "platform/resources.h"
#include "server/dialogs/address_rules.h"
#include "server/dialogs/ip_address_edit.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTreeWidget>

#include <cstdio>
#include <cstring>

namespace {

int g_boxes = 0;

void SetAddress(QWidget* dialog, int id, const char* text) {
    auto bytes = korrind::ParseDottedAddress(text);
    auto* control = tesslin::FindControl<IpAddressEdit>(dialog, id);
    if (bytes && control)
        control->SetAddress(*bytes);
}

int Create(const char* mask, const char* gateway) {
    CEditSettingsDlg settings;
    QDialog* dialog = settings.Create();
    if (!dialog)
        return 2;
    SetAddress(dialog, 1014, mask);
    SetAddress(dialog, 1013, gateway);
    settings.OnCreateTemplate(); // shows "template written" on success
    return settings.CreateMode() ? 1 : 0;
}

int Add(const QString& table, const char* ha, const char* name, const char* ip) {
    CBootpManagerDlg manager(table, QString(), QString());
    manager.Create();
    CAddBootpDlg add(table, QString(), QString(), manager.List());
    QDialog* dialog = add.Create();
    if (!dialog)
        return 2;
    tesslin::FindControl<QLineEdit>(dialog, 1020)->setText(ha);
    tesslin::FindControl<QLineEdit>(dialog, 1021)->setText(name);
    SetAddress(dialog, 1023, ip);
    add.OnOK();
    return g_boxes == 0 && dialog->result() == QDialog::Accepted ? 0 : 1;
}

int Modify(const QString& table, const char* ha, const char* ip) {
    CBootpManagerDlg manager(table, QString(), QString());
    manager.Create();
    QList<QTreeWidgetItem*> found =
        manager.List()->findItems(QString::fromUtf8(ha), Qt::MatchExactly, 0);
    if (found.size() != 1)
        return 1;
    manager.List()->setCurrentItem(found[0]);
    BootpRow row;
    for (int column = 0; column < 6; ++column) {
        std::u16string text = found[0]->text(column).toStdU16String();
        std::u16string* cells[] = {&row.hardwareAddress, &row.hostName,   &row.ipAddress,
                                   &row.comment,         &row.subnetMask, &row.gateway};
        *cells[column] = text;
    }
    CModifyBootpDlg modify(table, row, manager.List());
    QDialog* dialog = modify.Create();
    if (!dialog)
        return 2;
    SetAddress(dialog, 1023, ip);
    modify.OnOK();
    return g_boxes == 0 && dialog->result() == QDialog::Accepted ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qt(argc, argv);
    HINSTANCE resources = nullptr;
    if (ASLoadResourceFile2(u"tesslin", &resources) < 0)
        return 2;
    tesslin::SetResourceModule(resources);
    olvani::SetMessageBoxHandler([](const olvani::MessageBoxRequest& box) {
        std::fprintf(stderr, "message: %s: %s\n", box.caption.c_str(), box.text.c_str());
        ++g_boxes;
        return IDYES;
    });
    if (argc == 4 && !std::strcmp(argv[1], "create"))
        return Create(argv[2], argv[3]);
    if (argc == 6 && !std::strcmp(argv[1], "add"))
        return Add(QString::fromUtf8(argv[2]), argv[3], argv[4], argv[5]);
    if (argc == 5 && !std::strcmp(argv[1], "modify"))
        return Modify(QString::fromUtf8(argv[2]), argv[3], argv[4]);
    std::fprintf(stderr, "usage: tesslin_table_tool create|add|modify ...\n");
    return 2;
}

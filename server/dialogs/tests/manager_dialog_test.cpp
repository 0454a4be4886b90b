#include "dialog_fixture.h"

#include "server/dialogs/dialog_commands.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/doc_messages.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_dlg.h"
#include "server/dialogs/manager_dlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

using namespace dialogtest;
using namespace korrind;

namespace {

// Three entries whose host names, addresses and IP addresses sort
// differently from one another and from the table's order.
std::string ThreeEntries() {
    return kHeader + Block("beta", "02004C000001", "10.0.0.1") +
           Block("Alpha", "02004C000002", "192.168.1.2") +
           Block("gamma", "02004C000003", "9.0.0.1");
}

int OpenGate() {
    return 1;
}

} // namespace

class ManagerDialogTest : public QObject {
    Q_OBJECT

    static QTreeView* List(const CManagerDlg& dialog) {
        return Control<QTreeView>(dialog, kIdManagerList);
    }

    // The texts of one column, top to bottom as shown.
    static QStringList Column(const CManagerDlg& dialog, int column) {
        QAbstractItemModel* model = List(dialog)->model();
        QStringList texts;
        for (int r = 0; r < model->rowCount(); ++r)
            texts << model->index(r, column).data().toString();
        return texts;
    }

    static void Select(const CManagerDlg& dialog, const QStringList& hosts) {
        QTreeView* list = List(dialog);
        list->clearSelection();
        QAbstractItemModel* model = list->model();
        for (int r = 0; r < model->rowCount(); ++r)
            if (hosts.contains(model->index(r, 1).data().toString()))
                list->selectionModel()->select(model->index(r, 0), QItemSelectionModel::Select |
                                                                       QItemSelectionModel::Rows);
    }

    // Whether Apply is enabled; the label must say the same.
    static bool Modified(const CManagerDlg& dialog) {
        bool apply = Control<QPushButton>(dialog, kIdManagerApply)->isEnabled();
        QString label = Control<QLabel>(dialog, kIdManagerLabel)->text();
        QString expected = apply ? QStringLiteral("Modified &Bootp Configuration")
                                 : QStringLiteral("Current &Bootp Configuration");
        if (label != expected)
            QTest::qFail("the label does not match the Apply button", __FILE__, __LINE__);
        return apply;
    }

    static int MarkedRows(const Table& table) {
        const EntryRowArray& rows = table.doc->EntryRows();
        int marked = 0;
        for (int i = 0; i < rows.Count(); ++i)
            marked += rows[i].isNew || rows[i].deleted || rows[i].modified;
        return marked;
    }

private slots:
    void listsTheEngineTableWithItsColumns() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Bootp Manager"));
        QTreeView* list = List(dialog);
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(table.doc->EntryRows().Count(), 3);
        const char* headings[] = {"Hardware Address", "Host Name",   "IP Address",
                                  "Comment",          "Subnet Mask", "Gateway"};
        const int widths[] = {100, 100, 100, 150, 100, 100};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(),
                     QString::fromLatin1(headings[c]));
            // Never narrower than designed.
            QVERIFY(list->columnWidth(c) >= widths[c]);
        }
        QVERIFY(!Modified(dialog));
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        // Item n shows row n, the comment from the file included.
        QCOMPARE(list->model()->index(2, 0).data(Qt::UserRole).toInt(), 2);
        QCOMPARE(Column(dialog, 1), QStringList({"beta", "Alpha", "gamma"}));
        QCOMPARE(Column(dialog, 3), QStringList({"lab", "lab", "lab"}));
        QCOMPARE(Column(dialog, 4).first(), QStringLiteral("255.255.255.0"));
        QCOMPARE(table.doc->EntryRows()[1].Field(FieldIpAddress), std::string_view("192.168.1.2"));
    }

    void anEmptyTableOpensAnEmptyList() {
        Table table(kHeader);
        table.doc->EntryRows().Append(
            MakeEntryRow({"02004C000009", "stale", "10.0.0.9", "", "", ""}));
        CManagerDlg dialog(table.doc.get(), OpenGate);
        QCOMPARE(List(dialog)->model()->rowCount(), 0);
        QCOMPARE(table.doc->EntryRows().Count(), 0);
    }

    void everyRecordIsListedOneWithoutIpAddressToo() {
        // Address 000000000000 hashes to bucket 0 and 000000000001 to bucket
        // 1, so the table walk meets them first, in that order.
        Table table(kHeader + Block("later", "02004C000003", "10.0.0.3") +
                    Block("noip", "000000000001", "") + Block("first", "000000000000", "10.0.0.1"));
        CManagerDlg dialog(table.doc.get(), OpenGate);
        QCOMPARE(Column(dialog, 1), QStringList({"first", "noip", "later"}));
        QCOMPARE(Column(dialog, 2), QStringList({"10.0.0.1", "", "10.0.0.3"}));
        QCOMPARE(table.doc->EntryRows().Count(), 3);
        // The entry after the one without an address is no new address.
        EntryInput input;
        input.hardwareAddress = "02004C000003";
        QCOMPARE(CheckEntry(input, table.doc->EntryRows(), -1).message, kDuplicateHardwareAddress);
    }

    void anEditThatCannotBeWrittenIsNamedAndDropped() {
        // lab2's address line carries a second tag, so it cannot be removed.
        std::string stuck = "\r\n# stuck\r\nlab2:\\\r\nht=1:ha=02004C000002:\\\r\nip=10.0.0.2:\r\n";
        Table table(kHeader + Block("lab1", "02004C000001", "10.0.0.1") + stuck);
        Messages messages;
        CManagerDlg dialog(table.doc.get(), OpenGate);
        Select(dialog, {"lab2"});
        Click(dialog, kIdManagerDelete);
        Click(dialog, kIdManagerApply);
        QCOMPARE(messages.texts.size(), size_t(1));
        QVERIFY(messages.texts[0].find("delete lab2 (02004C000002, 10.0.0.2)") !=
                std::string::npos);
        QVERIFY(!Modified(dialog));
        QCOMPARE(Column(dialog, 1), QStringList({"lab1", "lab2"}));

        // The same through OK; a later menu Add Entry writes its entry.
        Select(dialog, {"lab2"});
        Click(dialog, kIdManagerDelete);
        Click(dialog, kIdOk);
        // What follows OK shows nothing itself: its caller does.
        DocResult dropped = ApplyManagerChanges(*table.doc);
        QCOMPARE(messages.texts.size(), size_t(1));
        QCOMPARE(dropped.result, 0);
        QCOMPARE(dropped.messages.size(), size_t(1));
        QVERIFY(dropped.messages[0].text.find("delete lab2 (02004C000002, 10.0.0.2)") !=
                std::string::npos);
        QCOMPARE(MarkedRows(table), 0);
        QCOMPARE(ShowDocResult(AddEntryAndApply(
                     *table.doc, {"02004C0000AA", "delta", "10.0.0.4", "", "255.255.255.0", ""})),
                 1);
        QCOMPARE(messages.texts.size(), size_t(1));
        QVERIFY(table.Content().find("ha=02004C0000AA") != std::string::npos);
    }

    void sortsByColumnsZeroToTwoOnly() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        QHeaderView* header = List(dialog)->header();
        emit header->sectionClicked(2);
        QCOMPARE(Column(dialog, 2), QStringList({"9.0.0.1", "10.0.0.1", "192.168.1.2"}));
        emit header->sectionClicked(1);
        QCOMPARE(Column(dialog, 1), QStringList({"Alpha", "beta", "gamma"}));
        // Every click sorts ascending.
        emit header->sectionClicked(1);
        QCOMPARE(Column(dialog, 1), QStringList({"Alpha", "beta", "gamma"}));
        emit header->sectionClicked(0);
        QCOMPARE(Column(dialog, 1), QStringList({"beta", "Alpha", "gamma"}));
        emit header->sectionClicked(2);
        emit header->sectionClicked(3);
        QCOMPARE(Column(dialog, 2), QStringList({"9.0.0.1", "10.0.0.1", "192.168.1.2"}));
        // Rows never move: items still name their own rows.
        QCOMPARE(table.doc->EntryRows()[0].Field(FieldHostName), std::string_view("beta"));
    }

    void deletingThreeThenCancelLeavesTheFileAndForgetsTheMarks() {
        Table table(ThreeEntries());
        std::string before = table.Content();
        Messages messages;
        CManagerDlg dialog(table.doc.get(), OpenGate);
        List(dialog)->selectAll();
        Click(dialog, kIdManagerDelete);
        QVERIFY(messages.texts.empty()); // no confirmation
        QCOMPARE(List(dialog)->model()->rowCount(), 0);
        QCOMPARE(MarkedRows(table), 3);
        QVERIFY(Modified(dialog));
        Click(dialog, kIdCancel);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(table.Content(), before);
        QCOMPARE(table.doc->EntryRows().Count(), 3);
        QCOMPARE(MarkedRows(table), 0);
        // A menu Add Entry afterwards writes only its own entry.
        QCOMPARE(ShowDocResult(AddEntryAndApply(
                     *table.doc, {"02004C0000AA", "delta", "10.0.0.4", "", "255.255.255.0", ""})),
                 1);
        std::string after = table.Content();
        for (const char* ha : {"02004C000001", "02004C000002", "02004C000003", "02004C0000AA"})
            QVERIFY(after.find(ha) != std::string::npos);
    }

    void selectionMessages() {
        Table table(ThreeEntries());
        Messages messages;
        CManagerDlg dialog(table.doc.get(), OpenGate);
        Click(dialog, kIdManagerDelete);
        Click(dialog, kIdManagerModify);
        Select(dialog, {"beta", "gamma"});
        Click(dialog, kIdManagerModify);
        QCOMPARE(messages.texts,
                 (std::vector<std::string>{"Select entry to be deleted.",
                                           "Select single entry for modification.",
                                           "Select single entry for modification."}));
        QVERIFY(!Modified(dialog));
    }

    void addRefusedByTheGate() {
        Table table(ThreeEntries());
        Messages messages;
        CManagerDlg dialog(table.doc.get(), [] { return 0; });
        Click(dialog, kIdManagerAdd);
        QCOMPARE(messages.texts, std::vector<std::string>{kUpgradeComCtl});
        QCOMPARE(table.doc->EntryRows().Count(), 3);
    }

    void addThenDeleteBeforeApplyWritesNothing() {
        Table table(ThreeEntries());
        std::string before = table.Content();
        CManagerDlg dialog(table.doc.get(), OpenGate);
        // A sorted list still takes a new item at its end.
        emit List(dialog)->header()->sectionClicked(1);
        WhenModal<CEntryDlg>([](CEntryDlg* entry) {
            Control<QComboBox>(*entry, kIdAddressBox)->setEditText(QStringLiteral("02004c0000aa"));
            Control<QLineEdit>(*entry, kIdHostName)->setText(QStringLiteral("delta"));
            SetAddress(*entry, kIdIpAddress, "10.0.0.4");
            Click(*entry, kIdOk);
        });
        Click(dialog, kIdManagerAdd);
        QCOMPARE(Column(dialog, 0).last(), QStringLiteral("02004C0000AA"));
        QCOMPARE(table.doc->EntryRows().Count(), 4);
        QVERIFY(table.doc->EntryRows()[3].isNew);
        QVERIFY(Modified(dialog));
        Select(dialog, {"delta"});
        Click(dialog, kIdManagerDelete);
        QCOMPARE(List(dialog)->model()->rowCount(), 3);
        Click(dialog, kIdManagerApply);
        QCOMPARE(table.Content(), before);
        QVERIFY(!QFileInfo::exists(QString::fromStdString(table.path + ".bak")));
    }

    void applyRewritesAndRelists() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        emit List(dialog)->header()->sectionClicked(2);
        Select(dialog, {"beta"});
        Click(dialog, kIdManagerDelete);
        Click(dialog, kIdManagerApply);
        std::string after = table.Content();
        QVERIFY(after.find("02004C000001") == std::string::npos);
        QVERIFY(after.find("02004C000002") != std::string::npos);
        QVERIFY(!Modified(dialog));
        QCOMPARE(List(dialog)->model()->rowCount(), 2);
        QCOMPARE(table.doc->EntryRows().Count(), 2);
        QCOMPARE(MarkedRows(table), 0);
        QVERIFY(QFileInfo::exists(QString::fromStdString(table.path + ".bak")));
    }

    void doubleClickInEmptySpaceModifiesTheSelectedItem() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Select(dialog, {"gamma"});
        QString shownTitle;
        bool boxEnabled = true;
        WhenModal<CEntryDlg>([&](CEntryDlg* entry) {
            shownTitle = entry->windowTitle();
            boxEnabled = Control<QComboBox>(*entry, kIdAddressBox)->isEnabled();
            Control<QLineEdit>(*entry, kIdComment)->setText(QStringLiteral("moved"));
            SetAddress(*entry, kIdGateway, "9.0.0.254");
            Click(*entry, kIdOk);
        });
        QWidget* viewport = List(dialog)->viewport();
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(10, viewport->height() - 5));
        QCOMPARE(shownTitle, QStringLiteral("Modify Bootp Entry"));
        QVERIFY(!boxEnabled);
        QVERIFY(table.doc->EntryRows()[2].modified);
        QCOMPARE(table.doc->EntryRows()[2].Field(FieldComment), std::string_view("moved"));
        QCOMPARE(Column(dialog, 3).last(), QStringLiteral("moved"));
        QCOMPARE(Column(dialog, 5).last(), QStringLiteral("9.0.0.254"));
        QVERIFY(Modified(dialog));
        // OK then writes the change; the entry moves to the end of the file.
        Click(dialog, kIdOk);
        QCOMPARE(ShowDocResult(ApplyManagerChanges(*table.doc)), 1);
        std::string after = table.Content();
        QVERIFY(after.find("# moved\r\ngamma:\\") > after.find("ha=02004C000002"));
        QVERIFY(after.find("gw=9.0.0.254:\\") != std::string::npos);
        QCOMPARE(MarkedRows(table), 0);
    }

    void columnsFitTheirTexts() {
        const char name[] = "a-rather-long-host-name-for-the-bench-in-room-three";
        Table table(kHeader + Block(name, "02004C0000AB", "10.0.0.5"));
        CManagerDlg dialog(table.doc.get(), OpenGate);
        QTreeView* list = List(dialog);
        QVERIFY(list->columnWidth(1) > list->fontMetrics().horizontalAdvance(name));
        QVERIFY(list->header()->stretchLastSection());
    }

    void filterCountDeleteKeyAndPendingMarks() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        auto* count = dialog.findChild<QLabel*>(QString::fromLatin1(kManagerCountName));
        auto* filter = dialog.findChild<QLineEdit*>(QString::fromLatin1(kManagerFilterName));
        QCOMPARE(count->text(), QStringLiteral("3 entries"));
        // Any column matches, ignoring case.
        filter->setText(QStringLiteral("ALPHA"));
        QCOMPARE(Column(dialog, 1), QStringList({"Alpha"}));
        QCOMPARE(count->text(), QStringLiteral("1 of 3 entries"));
        filter->setText(QStringLiteral("9.0.0"));
        QCOMPARE(Column(dialog, 1), QStringList({"gamma"}));

        // The Delete key deletes what is selected, as the button does.
        Select(dialog, {"gamma"});
        QTest::keyClick(List(dialog), Qt::Key_Delete);
        QCOMPARE(count->text(), QStringLiteral("0 of 2 entries"));
        QVERIFY(table.doc->EntryRows()[2].deleted);
        filter->clear();
        QCOMPARE(Column(dialog, 1), QStringList({"beta", "Alpha"}));

        // A changed row stands out until it is applied.
        QAbstractItemModel* model = List(dialog)->model();
        QVERIFY(!model->index(0, 0).data(Qt::FontRole).value<QFont>().italic());
        table.doc->EntryRows()[0].modified = true;
        QVERIFY(model->index(0, 3).data(Qt::FontRole).value<QFont>().italic());
        QCOMPARE(model->index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Changed, not yet applied"));
        QVERIFY(Modified(dialog));
    }

    void keyboardOrderAndDefaultButton() {
        Table table(ThreeEntries());
        CManagerDlg dialog(table.doc.get(), OpenGate);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(List(dialog)));
        QVERIFY(Control<QPushButton>(dialog, kIdOk)->isDefault());
        const int order[] = {kIdManagerAdd, kIdManagerModify, kIdManagerDelete, kIdOk, kIdCancel};
        for (int id : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), Control(dialog, id));
        }
        // Apply is disabled, so Tab goes on to Help.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Control(dialog, kIdHelp));
        QTest::keyClick(&dialog, Qt::Key_B, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(List(dialog)));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(ManagerDialogTest)
#include "manager_dialog_test.moc"

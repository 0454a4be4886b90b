#include "server/dialogs/manager_dlg.h"

#include "bootp/host_directory.h"
#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"
#include "server/dialogs/dialog_parts.h"
#include "server/dialogs/doc_messages.h"
#include "server/dialogs/entry_checks.h"
#include "server/dialogs/entry_dlg.h"
#include "server/dialogs/help.h"
#include "server/dialogs/host_listing.h"
#include "server/dialogs/manager_model.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

void Tell(const char* text) {
    MessageBox(text, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
}

} // namespace

CManagerDlg::CManagerDlg(CKorrindDoc* doc, ComCtlGate requireComCtl471, QWidget* parent)
    : QDialog(parent), doc_(doc), requireComCtl471_(std::move(requireComCtl471)) {
    using namespace korrind;
    setWindowTitle(QStringLiteral("Bootp Manager"));

    model_ = new EntryListModel(doc_->EntryRows(), this);
    proxy_ = new EntrySortProxy(doc_->EntryRows(), this);
    proxy_->setSourceModel(model_);
    list_ = new QTreeView(this);
    list_->setObjectName(ControlName(kIdManagerList));
    list_->setModel(proxy_);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSortingEnabled(false);
    list_->header()->setSectionsClickable(true);
    // The last column takes what the window gives beyond the others.
    list_->header()->setStretchLastSection(true);
    list_->viewport()->installEventFilter(this);
    list_->installEventFilter(this);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &CManagerDlg::OnHeaderClicked);

    label_ = new QLabel(this);
    label_->setObjectName(ControlName(kIdManagerLabel));
    label_->setBuddy(list_);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QString::fromLatin1(kManagerFilterName));
    filter_->setPlaceholderText(tr("Filter"));
    filter_->setClearButtonEnabled(true);
    count_ = new QLabel(this);
    count_->setObjectName(QString::fromLatin1(kManagerCountName));
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->SetFilterText(text);
        UpdateCount();
    });
    // The list's own signals come once the proxy has followed them.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, &CManagerDlg::UpdateCount);
    connect(model_, &QAbstractItemModel::modelReset, this, &CManagerDlg::UpdateCount);

    QPushButton* add = MakeButton(this, kIdManagerAdd, QStringLiteral("A&dd"));
    QPushButton* modify = MakeButton(this, kIdManagerModify, QStringLiteral("&Modify"));
    QPushButton* remove = MakeButton(this, kIdManagerDelete, QStringLiteral("D&elete"));
    connect(add, &QPushButton::clicked, this, &CManagerDlg::OnAdd);
    connect(modify, &QPushButton::clicked, this, &CManagerDlg::OnModify);
    connect(remove, &QPushButton::clicked, this, &CManagerDlg::OnDelete);

    QWidget* closeButtons =
        MakeOkCancelHelp(this, QStringLiteral("&Help"), [] { return kHelpManager; });
    apply_ = MakeButton(closeButtons, kIdManagerApply, QStringLiteral("&Apply"));
    auto* column = static_cast<QVBoxLayout*>(closeButtons->layout());
    column->insertWidget(2, apply_);
    connect(apply_, &QPushButton::clicked, this, &CManagerDlg::OnApply);

    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(add);
    editButtons->addWidget(modify);
    editButtons->addWidget(remove);
    editButtons->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(label_);
    top->addStretch();
    top->addWidget(filter_);
    top->addWidget(count_);
    auto* left = new QVBoxLayout;
    left->addLayout(top);
    left->addWidget(list_, 1);
    left->addLayout(editButtons);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(closeButtons);

    QWidget* order[] = {filter_,
                        list_,
                        add,
                        modify,
                        remove,
                        findChild<QWidget*>(ControlName(kIdOk)),
                        findChild<QWidget*>(ControlName(kIdCancel)),
                        apply_,
                        findChild<QWidget*>(ControlName(kIdHelp))};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    // Larger than the designed 400 x 161 units: a table of lab devices
    // reads better with room for its columns.
    resize(DialogUnitsToPixels(this, 400, 161).expandedTo(QSize(900, 480)));

    SetModifiedState(0);
    Fill(1);
    list_->setFocus();
}

int CManagerDlg::Fill(int createColumns) {
    if (createColumns) {
        for (int c = 0; c < kEntryFieldCount; ++c)
            list_->setColumnWidth(c, EntryListModel::ColumnWidth(c));
    }
    // A fresh list is in table order until a heading is clicked again.
    proxy_->sort(-1);
    std::vector<EntryValues> listed = korrind::ListHostTable(*doc_);
    doc_->EntryRows().Rebuild(listed);
    model_->ResetItems(static_cast<int>(listed.size()));
    FitColumns();
    return listed.empty() ? 0 : 1;
}

void CManagerDlg::FitColumns() {
    for (int c = 0; c < kEntryFieldCount - 1; ++c) {
        list_->resizeColumnToContents(c);
        list_->setColumnWidth(c, std::max(list_->columnWidth(c), EntryListModel::ColumnWidth(c)));
    }
}

void CManagerDlg::UpdateCount() {
    int shown = proxy_->rowCount();
    int all = model_->rowCount();
    QString entries = all == 1 ? tr("1 entry") : tr("%1 entries").arg(all);
    count_->setText(shown == all ? entries : tr("%1 of %2").arg(shown).arg(entries));
}

void CManagerDlg::SetModifiedState(int flag) {
    apply_->setEnabled(flag == 1);
    label_->setText(flag == 1 ? QStringLiteral("Modified &Bootp Configuration")
                              : QStringLiteral("Current &Bootp Configuration"));
}

std::vector<int> CManagerDlg::SelectedItems() const {
    std::vector<int> items;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        items.push_back(proxy_->mapToSource(index).row());
    std::sort(items.begin(), items.end());
    return items;
}

void CManagerDlg::OnAdd() {
    if (!requireComCtl471_ || requireComCtl471_() == 0) {
        Tell("Upgrade comctl32.dll to version 4.71");
        return;
    }
    CEntryDlg dialog(doc_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    int r = doc_->EntryRows().Append(EntryRow{});
    EntryRow& row = doc_->EntryRows()[r];
    row.isNew = true;
    row.SetValues(dialog.Values());
    model_->AppendItem(r);
    SetModifiedState(1);
}

void CManagerDlg::OnModify() {
    std::vector<int> selected = SelectedItems();
    if (selected.size() != 1) {
        Tell("Select single entry for modification.");
        return;
    }
    if (!requireComCtl471_ || requireComCtl471_() == 0)
        return;
    if (model_->rowCount() == 0)
        return;
    int item = selected.front();
    int r = model_->RowIndexOf(item);
    CEntryDlg dialog(doc_, r, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    EntryRow& row = doc_->EntryRows()[r];
    row.modified = true;
    row.SetValues(dialog.Values());
    model_->ItemChanged(item);
    SetModifiedState(1);
}

void CManagerDlg::OnDelete() {
    std::vector<int> selected = SelectedItems();
    if (selected.empty()) {
        Tell("Select entry to be deleted.");
        return;
    }
    // From the last item back, so the positions still to come stay valid.
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        doc_->EntryRows()[model_->RowIndexOf(*it)].deleted = true;
        if (!model_->removeRow(*it)) {
            Tell("Error deleting list ctrl entry");
            return;
        }
        SetModifiedState(1);
    }
}

void CManagerDlg::OnApply() {
    if (korrind::ShowDocResult(doc_->ApplyChanges()) != 1) {
        // Edits that cannot be made were dropped (and named); when none is
        // left, the list shows the table again. A failed write keeps them.
        bool pending = false;
        for (int i = 0; i < doc_->EntryRows().Count() && !pending; ++i)
            pending = doc_->EntryRows()[i].HasPendingEdit();
        if (!pending) {
            Fill(0);
            SetModifiedState(0);
        }
        return;
    }
    if (RereadHostTable() == 0)
        Fill(0);
    SetModifiedState(0);
}

void CManagerDlg::OnHeaderClicked(int column) {
    if (column < FieldHardwareAddress || column > FieldIpAddress)
        return;
    proxy_->sort(column, Qt::AscendingOrder);
}

// Cancel and Escape leave the file alone and also forget what was marked,
// so a later Add Entry from the menu does not write it behind the
// operator's back.
void CManagerDlg::reject() {
    korrind::RebuildEntryRows(*doc_);
    QDialog::reject();
}

// A double click anywhere in the list, empty space included, modifies the
// one selected item.
bool CManagerDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        OnModify();
        return true;
    }
    // The Delete key does what the Delete button does.
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        OnDelete();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

#include "server/app/request_history_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace {

enum Column { kTime, kHardwareAddress, kAddress, kFile, kColumns };

} // namespace

CRequestHistoryView::CRequestHistoryView(std::function<void(const std::string&)> addEntry,
                                         QWidget* parent)
    : QTreeWidget(parent), addEntry_(std::move(addEntry)) {
    setObjectName(QStringLiteral("requestHistory"));
    setColumnCount(kColumns);
    setHeaderLabels({tr("Time"), tr("Hardware address"), tr("Address"), tr("File")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Widths from the texts the columns hold; measuring every row as it
    // arrives would cost the server time under a burst of requests.
    QFontMetrics metrics(font());
    const char* samples[] = {"2026-12-31 23:59:59", "02004C123456", "255.255.255.255"};
    for (int c = 0; c < kFile; ++c)
        setColumnWidth(c, metrics.horizontalAdvance(QString::fromLatin1(samples[c])) +
                              3 * metrics.averageCharWidth());
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OfferAddEntry(item); });
}

void CRequestHistoryView::AddRecord(const korrind::RequestRecord& record) {
    QString client = QString::fromStdString(
        record.hardwareAddress.empty() ? record.clientAddress : record.hardwareAddress);
    QString answered = record.answered ? QString::fromStdString(record.answeredAddress)
                                       : QString::fromLatin1(kUnknown);
    auto* item = new QTreeWidgetItem({QString::fromStdString(korrind::LocalTimeText(record.time)),
                                      client, answered, QString::fromStdString(record.file)});
    // Only a device missing from the table can be given an entry from here.
    if (record.unknown)
        item->setData(kHardwareAddress, Qt::UserRole, client);
    insertTopLevelItem(0, item);
    while (topLevelItemCount() > static_cast<int>(korrind::RequestHistory::kCapacity))
        delete takeTopLevelItem(topLevelItemCount() - 1);
}

QString CRequestHistoryView::SelectedText() const {
    QStringList lines;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (!item->isSelected())
            continue;
        QStringList cells;
        for (int c = 0; c < kColumns; ++c)
            cells << item->text(c);
        lines << cells.join('\t');
    }
    return lines.isEmpty() ? QString() : lines.join('\n') + '\n';
}

std::string CRequestHistoryView::UnknownAddressOf(QTreeWidgetItem* item) const {
    return item == nullptr ? std::string()
                           : item->data(kHardwareAddress, Qt::UserRole).toString().toStdString();
}

void CRequestHistoryView::OfferAddEntry(QTreeWidgetItem* item) {
    std::string address = UnknownAddressOf(item);
    if (!address.empty() && addEntry_)
        addEntry_(address);
}

void CRequestHistoryView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(SelectedText());
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CRequestHistoryView::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), QKeySequence::Copy, this,
                                   [this] { QApplication::clipboard()->setText(SelectedText()); });
    copy->setEnabled(!selectedItems().isEmpty());
    QAction* add = menu.addAction(tr("&Add entry for this address\u2026"), this,
                                  [this, item] { OfferAddEntry(item); });
    add->setEnabled(!UnknownAddressOf(item).empty());
    menu.exec(event->globalPos());
}

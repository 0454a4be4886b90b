// The latest requests beside the status view: time, hardware address, the
// address answered or "unknown", boot file. Rows can be copied; a double
// click on an unknown device (or "Add entry for this address…" from its
// menu) opens Add Entry with that address selected.
#pragma once

#include "server/app/request_history.h"

#include <QTreeWidget>

#include <functional>
#include <string>

class CRequestHistoryView : public QTreeWidget {
    Q_OBJECT
public:
    // addEntry opens Add Entry for a hardware address.
    CRequestHistoryView(std::function<void(const std::string&)> addEntry, QWidget* parent);

    // One finished request, newest at the top; the oldest go beyond the
    // history's capacity.
    void AddRecord(const korrind::RequestRecord& record);
    // The selected rows as tab-separated lines, as Copy puts them on the
    // clipboard.
    QString SelectedText() const;

    static constexpr const char* kUnknown = "unknown";

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The hardware address of an unknown device's row; empty otherwise.
    std::string UnknownAddressOf(QTreeWidgetItem* item) const;
    void OfferAddEntry(QTreeWidgetItem* item);

    std::function<void(const std::string&)> addEntry_;
};

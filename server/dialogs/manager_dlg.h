// CManagerDlg: the Bootp Manager. Lists what the engine knows, collects
// additions, changes and deletions as marks on the document's EntryRows,
// and writes them on Apply (or, through its caller, on OK). Cancel forgets
// the marks.
#pragma once

#include <QDialog>

#include <functional>

class CKorrindDoc;
class EntryListModel;
class EntrySortProxy;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

// The common-controls gate of the application (RequireComCtl471): 1 when
// the dialogs with IP address fields may open.
using ComCtlGate = std::function<int()>;

// Control ids of the dialog.
constexpr int kIdManagerList = 101;
constexpr int kIdManagerDelete = 103;
constexpr int kIdManagerModify = 104;
constexpr int kIdManagerAdd = 106;
constexpr int kIdManagerApply = 1024;
constexpr int kIdManagerLabel = 1025;
// Object names of the filter box and the entry count.
inline constexpr char kManagerFilterName[] = "managerFilter";
inline constexpr char kManagerCountName[] = "managerCount";

class CManagerDlg : public QDialog {
    Q_OBJECT
public:
    CManagerDlg(CKorrindDoc* doc, ComCtlGate requireComCtl471, QWidget* parent = nullptr);

    // Lists the engine's table and rebuilds EntryRows to match; 1 when
    // records were listed. createColumns 1 on the first fill, which also
    // sets the column widths; 0 empties the list first.
    int Fill(int createColumns);
    // Apply enabled and the label text follow the flag.
    void SetModifiedState(int flag);

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnApply();
    void OnHeaderClicked(int column);
    // "n entries", or "n of m entries" while a filter hides some.
    void UpdateCount();
    // Each column as wide as its widest text, never narrower than designed.
    void FitColumns();
    // Selected items as model rows, lowest first.
    std::vector<int> SelectedItems() const;

    CKorrindDoc* doc_;
    QPushButton* apply_ = nullptr;
    QTreeView* list_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* count_ = nullptr;
    QLineEdit* filter_ = nullptr;
    EntryListModel* model_ = nullptr;
    EntrySortProxy* proxy_ = nullptr;
    ComCtlGate requireComCtl471_;
};

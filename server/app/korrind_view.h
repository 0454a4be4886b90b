// The status view: the lines of the latest request, drawn from the top with
// the default font, without scrolling. Lines below the bottom edge are kept
// but not visible.
#pragma once

#include "server/app/status_lines.h"

#include <QWidget>

#include <string>

class CKorrindApp;
class CKorrindDoc;

class CKorrindView : public QWidget {
    Q_OBJECT
public:
    CKorrindView(CKorrindApp& app, QWidget* parent);
    ~CKorrindView() override;

    // Appends one line and shows it at once below the previous one.
    void AddLine(const std::string& text);
    // Forgets every line and blanks the window.
    void ClearLog();

    CKorrindDoc* GetDocument() const;
    // Configure > Bootp Manager...
    void OnBootpManager();

    const korrind::StatusLines& Lines() const { return lines_; }
    // Character height plus external leading of the default font.
    int LineAdvance() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CKorrindApp& app_;
    korrind::StatusLines lines_;
    // Every status line needs the advance: measured once per font.
    mutable int advance_ = 0;
};

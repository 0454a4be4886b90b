// The About box and the program's icon.
#pragma once

#include <QDialog>
#include <QIcon>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Drawn rather than loaded, so the program needs no image files.
QIcon ProgramIcon();

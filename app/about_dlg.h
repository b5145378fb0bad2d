// The about box: program icon, name and version, rights line, OK.
#pragma once

#include <QDialog>

namespace zr417 {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(int language, QWidget* parent = nullptr);
};

}  // namespace zr417

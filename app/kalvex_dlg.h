// The main dialog: the program's only top-level window, frameless and painted
// from skins.
#pragma once

#include "config/image.h"
#include "platform/files.h"

#include <QWidget>
#include <memory>

namespace zr417 {

class CKalvexDlg : public QWidget {
    Q_OBJECT
public:
    explicit CKalvexDlg(QWidget* parent = nullptr);
    ~CKalvexDlg() override;

    // Initialises and runs until the dialog ends.
    int DoModal();

    int language() const { return g_nLanguage; }
    KeymapStore& store() { return *store_; }

public slots:
    // A second start of the program asks for the window, also from the tray.
    void restoreAndActivate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnInitDialog();

    int g_nLanguage = 9;
    AppPaths paths_;
    std::unique_ptr<KeymapStore> store_;
};

}  // namespace zr417

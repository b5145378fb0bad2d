// CMacroRecordDlg: the macro manager. A frameless dialog painted from the
// MacroManagement skins, with the macro list, the step list, the loop count
// field and seven hot regions (record button, two check boxes, New, Delete,
// OK, Cancel). The rules live in MacroManagerModel; this window shows its
// state and hands it the user's clicks, keystrokes and edits.
#pragma once

#include "controls/skin.h"
#include "macro/macro_manager.h"
#include "macro/transparent_list_box.h"
#include "platform/files.h"

#include <QDialog>
#include <QLineEdit>
#include <QMenu>

#include <array>
#include <functional>

namespace zr417 {

// Where the dialog reaches outside itself; each one left empty takes the
// real thing (the key hook, a QMessageBox, QMenu::exec). Tests replace them.
struct MacroManagerSeams {
    std::function<bool(QWidget* window, int mode)> installhook;
    std::function<void()> removehook;
    // Returns true when the user chose OK.
    std::function<bool(QWidget* parent, const QString& text, const QString& caption, bool okCancel)> messageBox;
    // Shows the step menu at a global position; returns the chosen action or nullptr.
    std::function<QAction*(QMenu& menu, const QPoint& globalPos)> execMenu;
};

struct MacroButtonRegion {
    QRect rect;  // inclusive corners, as the hit test reads them
    std::string_view off;
    std::string_view on;
    int state = 0;  // 0 off, 1 on
};

class CMacroRecordDlg : public QDialog, private MacroManagerModel::Host {
    Q_OBJECT
public:
    enum Region { kRecord = 0, kRecordDelayBox, kLoopsBox, kNew, kDelete, kOk, kCancel, kRegionCount };

    CMacroRecordDlg(MacroStore& store, int language, const AppPaths& paths, QWidget* parent = nullptr,
                    MacroManagerSeams seams = {});
    ~CMacroRecordDlg() override;

    // The first region whose rectangle holds the client point (borders
    // included), -1 for none.
    int HitTestMacroButton(const QPoint& point) const;
    const MacroButtonRegion& region(int i) const { return MacroHotRegions[static_cast<std::size_t>(i)]; }
    int hoverIndex() const { return hover_; }

    MacroManagerModel& model() { return model_; }
    CTransparentListBox* macroList() const { return macroList_; }
    CTransparentListBox* stepList() const { return stepList_; }
    QLineEdit* loopEdit() const { return loopEdit_; }
    const SkinFolder& skins() const { return skins_; }
    int language() const { return language_; }

    // The step menu in the current language, with the command ids as the
    // actions' data; OpenStepMenu shows it and runs the chosen command.
    void BuildStepMenu(QMenu& menu) const;
    void OpenStepMenu(const QPoint& globalPos);

    // The whole dialog as it would be painted now.
    QImage RenderFrame() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public slots:
    void done(int result) override;

private:
    // MacroManagerModel::Host
    bool installhook() override;
    void removehook() override;
    bool messageBox(MacroMessage message) override;

    void regionAction(int region);
    void syncFromModel();
    void drawRegion(QPainter& p, int i) const;
    void onMacroRenamed(int index, const QString& oldText);

    MacroManagerSeams seams_;
    int language_;
    SkinFolder skins_;
    std::array<MacroButtonRegion, kRegionCount> MacroHotRegions;
    int hover_ = -1;
    QPoint dragOffset_;
    bool dragging_ = false;
    bool syncing_ = false;

    CTransparentListBox* macroList_ = nullptr;  // the macro names
    CTransparentListBox* stepList_ = nullptr;   // the steps of the selected macro
    QLineEdit* loopEdit_ = nullptr;             // the loop count
    MacroManagerModel model_;
};

// Runs the macro manager modally over `parent` on `store`'s table. True when
// it ended with OK: g_macroTable then holds the new macros, and the caller
// places them into the image, saves keymap.bin and MacroDefine.bin.
bool RunMacroManager(QWidget* parent, MacroStore& store, int language, const AppPaths& paths);

}  // namespace zr417

// The key assignment dialogs: CKeyMap for the first model (four tabs) and
// CKeymapDlg420 for the others (three tabs). Frameless, painted from
// png/<language>/Custom/, driven by KeymapDialogLogic. The main window runs
// them through RunKeyAssignment with KeyAssignmentDialogFor(...) as the
// dialog callback.
#pragma once

#include "controls/skin.h"
#include "keymap/key_assignment.h"
#include "keymap/keymap_dialog_logic.h"
#include "platform/files.h"

#include <QDialog>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLineEdit;
class QListWidget;
class QTreeWidgetItem;

namespace zr417 {

class VividTree;

// What the dialogs take from the desktop; tests put their own in.
struct KeymapDialogServices {
    // A message box with OK, titled with the program's name.
    std::function<void(QWidget* parent, const QString& text)> message;
    // Chooser of Advance row 0 sound, 1 program, 2 file, 3 folder. nullopt
    // when cancelled; else an absolute path (empty when the folder chooser
    // came back without one). `current` is the path shown now.
    std::function<std::optional<QString>(QWidget* parent, int row, const QString& current)> choosePath;
    // The keyboard hook (installhook / removehook of key_hook.h).
    std::function<bool(QWidget* window, int mode)> installHook;
    std::function<void()> removeHook;

    // Message boxes, file dialogs and the application-wide key capture.
    static KeymapDialogServices Desktop();
};

// The file dialogs of the Advance rows (what Desktop() uses): sound files
// (mp3 and the other common audio types), executable files, text or any
// files, and a folder chooser titled "modification path".
std::optional<QString> ChooseActionPath(QWidget* parent, int row, const QString& current);

class KeymapDialogBase : public QDialog, protected KeymapDialogView {
    Q_OBJECT
public:
    ~KeymapDialogBase() override;

    KeymapDialogLogic& logic() { return logic_; }
    const SkinFolder& skins() const { return skins_; }
    QLineEdit* singleBox() const { return singleBox_; }
    QLineEdit* combineBox() const { return combineBox_; }
    QListWidget* macroList() const { return macroList_; }
    VividTree* tree() const { return tree_; }
    // The tree's item for an index of BasicTreeItems().
    QTreeWidgetItem* treeItem(int index) const;

    void done(int result) override;

protected:
    struct ControlIds {
        int tree, single, combine, list;
    };
    KeymapDialogBase(bool secondModel, ControlIds ids, KeyAssignmentState& state, ConfigImage& image,
                     const MacroTable& macros, int language, const AppPaths& paths, KeymapDialogServices services,
                     QWidget* parent);

    // OnInitDialog: size from the background, controls, the logic, the hook.
    void InitDialog(std::string_view sizingBackground);

    // Painting, shared parts and the model's own.
    virtual void PaintTabs(QPainter& p) = 0;
    void PaintCommon(QPainter& p);
    void PaintTabPage(QPainter& p);
    void PaintAdvancedPage(QPainter& p);
    void PaintAdvancedRow(QPainter& p, int row, bool readOnly);
    void PaintBottom(QPainter& p);
    void DrawButton(QPainter& p, int b, std::string_view image);
    void DrawButton(QPainter& p, int b);
    void Caption(QPainter& p, std::string_view text, int x, int y, bool current = true);
    void FittedCaption(QPainter& p, std::string_view text, int x, int y, int width, bool current = true);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // KeymapDialogView
    void SetBoxText(KeyBox box, const std::string& text) override;
    void FocusBox(KeyBox box) override;
    void SetMacroNames(const std::vector<std::string>& names) override;
    void SelectMacroRow(int row) override;
    void FocusMacroList() override;
    int MacroSelection() const override;
    void SelectTreeItem(int item) override;
    int SelectedTreeItem() const override;
    void ShowMessage(std::string_view text) override;
    std::optional<std::u16string> ChoosePath(int row) override;
    void Redraw() override;
    void EndDialog(bool ok) override;

    const KeymapTexts& texts() const { return KeymapTextsFor(language_); }
    const KeyAssignmentState& state() const { return state_; }
    int language() const { return language_; }

private:
    void BuildTree();
    void UpdateControls();
    void RemoveHook();
    void SuspendHook();
    void ResumeHook();

    KeyAssignmentState& state_;
    int language_;
    KeymapDialogServices services_;
    SkinFolder skins_;
    KeymapDialogLogic logic_;
    ControlIds ids_;

    VividTree* tree_ = nullptr;
    QLineEdit* singleBox_ = nullptr;
    QLineEdit* combineBox_ = nullptr;
    QListWidget* macroList_ = nullptr;
    std::vector<QTreeWidgetItem*> treeItems_;  // by BasicTreeItems() index
    bool hookInstalled_ = false;
    bool hookSuspended_ = false;  // taken off while a message box or chooser is up
    bool firstBoxFocusSeen_ = false;

    // Dragging the frameless window by any place outside the buttons.
    bool dragArmed_ = false;
    bool dragging_ = false;
    QPoint dragPressGlobal_;
    QPoint dragWindowStart_;
};

// The first model's dialog (dialog 132): four tabs.
class CKeyMap : public KeymapDialogBase {
    Q_OBJECT
public:
    CKeyMap(KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros, int language,
            const AppPaths& paths, KeymapDialogServices services = KeymapDialogServices::Desktop(),
            QWidget* parent = nullptr);

protected:
    void PaintTabs(QPainter& p) override;
};

// The other models' dialog (dialog 157): three tabs. A key holding an
// Advanced assignment opens on a read-only view of it (its row of the Advance
// page, without browse button) that Save keeps as it is.
class CKeymapDlg420 : public KeymapDialogBase {
    Q_OBJECT
public:
    CKeymapDlg420(KeyAssignmentState& state, ConfigImage& image, const MacroTable& macros, int language,
                  const AppPaths& paths, KeymapDialogServices services = KeymapDialogServices::Desktop(),
                  QWidget* parent = nullptr);

protected:
    void PaintTabs(QPainter& p) override;
    void paintEvent(QPaintEvent* event) override;
};

// Runs the dialog of `model` (1 = QV310: CKeyMap, any other: CKeymapDlg420)
// modally on `image`; true for OK.
bool RunKeyAssignmentDialog(QWidget* parent, int model, KeyAssignmentState& state, ConfigImage& image,
                            const MacroTable& macros, int language, const AppPaths& paths,
                            const KeymapDialogServices& services = KeymapDialogServices::Desktop());

// The dialog callback for RunKeyAssignment. `macros` must outlive it.
AssignmentDialog KeyAssignmentDialogFor(QWidget* parent, int model, const MacroTable& macros, int language,
                                        AppPaths paths,
                                        KeymapDialogServices services = KeymapDialogServices::Desktop());

}  // namespace zr417

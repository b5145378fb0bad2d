// The "Automatic profiles" dialog: plain Qt widgets in the program's
// language. The rules as a list (program, profile), adding a running program
// or a program file, removing a rule, the default profile and the on/off
// switch. Every change is saved at once.
#pragma once

#include "automation/auto_rules.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace zr417 {

class AutoProfiles;

// Where the dialog asks the user something; each one left empty asks with
// the real Qt dialog.
struct AutoProfilesDlgSeams {
    std::function<std::optional<std::string>(QWidget* parent, const std::vector<std::string>& programs)> pickProgram;
    std::function<std::optional<std::string>(QWidget* parent)> chooseFile;
    std::function<std::optional<std::string>(QWidget* parent, const std::string& program,
                                             const std::vector<std::string>& profiles)>
        pickProfile;
    std::function<void(QWidget* parent, const QString& text)> warn;
};

class AutoProfilesDlg : public QDialog {
    Q_OBJECT
public:
    AutoProfilesDlg(AutoProfiles& profiles, int language, QWidget* parent = nullptr, AutoProfilesDlgSeams seams = {});

    QTableWidget* table() const { return table_; }
    QCheckBox* enabledBox() const { return enabled_; }
    QComboBox* defaultBox() const { return default_; }
    QLabel* statusLabel() const { return status_; }

    void addRunning();
    void addFile();
    void removeSelected();

private:
    void fill();
    void addProgram(const std::string& program);
    void save(const AutoRules& rules);

    AutoProfiles& auto_;
    int language_;
    AutoProfilesDlgSeams seams_;
    QLabel* problem_ = nullptr;
    QPushButton* startOver_ = nullptr;
    QCheckBox* enabled_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* addRunning_ = nullptr;
    QPushButton* addFile_ = nullptr;
    QPushButton* remove_ = nullptr;
    QComboBox* default_ = nullptr;
    QLabel* status_ = nullptr;
    bool filling_ = false;
};

// Opens the dialog, one at a time. From the tray it is not modal, so a switch
// may go while it is open; over another dialog (the profile panel) it is, and
// returns when it closes.
void ShowAutoProfilesDlg(AutoProfiles& profiles, int language, QWidget* parent, bool modal);

}  // namespace zr417

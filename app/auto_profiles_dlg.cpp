#include "app/auto_profiles_dlg.h"

#include "app/auto_profiles.h"
#include "app/auto_profiles_texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace zr417 {
namespace {

QString qs(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QStringList ToList(const std::vector<std::string>& names)
{
    QStringList list;
    for (const auto& n : names) list << QString::fromStdString(n);
    return list;
}

}  // namespace

AutoProfilesDlg::AutoProfilesDlg(AutoProfiles& profiles, int language, QWidget* parent, AutoProfilesDlgSeams seams)
    : QDialog(parent), auto_(profiles), language_(language), seams_(std::move(seams))
{
    auto text = [&](const Bilingual& t) { return qs(t.in(language_)); };
    setWindowTitle(text(auto_text::kTitle));

    auto* layout = new QVBoxLayout(this);
    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    startOver_ = new QPushButton(this);
    layout->addWidget(problem_);
    layout->addWidget(startOver_, 0, Qt::AlignLeft);

    enabled_ = new QCheckBox(text(auto_text::kEnabled), this);
    layout->addWidget(enabled_);
    auto* explain = new QLabel(text(auto_text::kExplain), this);
    explain->setWordWrap(true);
    layout->addWidget(explain);

    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeaderLabels({text(auto_text::kProgramColumn), text(auto_text::kProfileColumn)});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(table_);

    auto* buttons = new QHBoxLayout;
    addRunning_ = new QPushButton(text(auto_text::kAddRunning), this);
    addFile_ = new QPushButton(text(auto_text::kAddFile), this);
    remove_ = new QPushButton(text(auto_text::kRemove), this);
    buttons->addWidget(addRunning_);
    buttons->addWidget(addFile_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* defaults = new QHBoxLayout;
    defaults->addWidget(new QLabel(text(auto_text::kDefaultLabel), this));
    default_ = new QComboBox(this);
    defaults->addWidget(default_, 1);
    layout->addLayout(defaults);

    status_ = new QLabel(this);
    status_->setWordWrap(true);
    layout->addWidget(status_);

    auto* close = new QDialogButtonBox(this);
    close->addButton(text(auto_text::kClose), QDialogButtonBox::RejectRole);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(close);

    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_) return;
        AutoRules rules = auto_.rules();
        rules.enabled = on;
        save(rules);
    });
    connect(default_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ || index < 0) return;
        AutoRules rules = auto_.rules();
        rules.defaultProfile = default_->itemData(index).toString().toStdString();
        save(rules);
    });
    connect(addRunning_, &QPushButton::clicked, this, &AutoProfilesDlg::addRunning);
    connect(addFile_, &QPushButton::clicked, this, &AutoProfilesDlg::addFile);
    connect(remove_, &QPushButton::clicked, this, &AutoProfilesDlg::removeSelected);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(auto_.fileProblem().empty() && !table_->selectedItems().isEmpty()); });
    connect(startOver_, &QPushButton::clicked, this, [this] {
        std::string error;
        if (!auto_.startOver(&error)) {
            if (seams_.warn)
                seams_.warn(this, QString::fromStdString(error));
            else
                QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
        }
        fill();
    });
    connect(&auto_, &AutoProfiles::changed, this, &AutoProfilesDlg::fill);

    auto_.reload();
    fill();
    resize(560, 460);
}

void AutoProfilesDlg::fill()
{
    auto text = [&](const Bilingual& t) { return qs(t.in(language_)); };
    filling_ = true;
    const AutoRules& rules = auto_.rules();
    const std::vector<std::string> profiles = auto_.profiles();
    auto shown = [&](const std::string& profile) {
        const QString name = QString::fromStdString(profile);
        return std::find(profiles.begin(), profiles.end(), profile) != profiles.end()
                   ? name
                   : text(auto_text::kMissing).arg(name);
    };

    const bool damaged = !auto_.fileProblem().empty();
    problem_->setVisible(damaged);
    startOver_->setVisible(damaged);
    if (damaged) {
        problem_->setText(text(auto_text::kDamaged).arg(QString::fromStdString(auto_.fileProblem())));
        std::filesystem::path aside = auto_.rulesFile();
        aside += ".damaged";
        startOver_->setText(text(auto_text::kStartOver).arg(QString::fromStdString(aside.filename().string())));
    }
    for (QWidget* w : std::initializer_list<QWidget*>{enabled_, table_, addRunning_, addFile_, default_})
        w->setEnabled(!damaged);

    enabled_->setChecked(rules.enabled);
    const int selected = table_->currentRow();
    table_->setRowCount(static_cast<int>(rules.rules.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const AutoRule& rule = rules.rules[static_cast<std::size_t>(row)];
        table_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(rule.program)));
        auto* profile = new QTableWidgetItem(shown(rule.profile));
        if (std::find(profiles.begin(), profiles.end(), rule.profile) == profiles.end())
            profile->setForeground(QColor(176, 0, 0));
        table_->setItem(row, 1, profile);
    }
    if (selected >= 0 && selected < table_->rowCount()) table_->selectRow(selected);
    remove_->setEnabled(!damaged && !table_->selectedItems().isEmpty());

    default_->clear();
    default_->addItem(text(auto_text::kDefaultNone), QString());
    for (const auto& p : profiles) default_->addItem(QString::fromStdString(p), QString::fromStdString(p));
    if (!rules.defaultProfile.empty() &&
        std::find(profiles.begin(), profiles.end(), rules.defaultProfile) == profiles.end())
        default_->addItem(shown(rules.defaultProfile), QString::fromStdString(rules.defaultProfile));
    default_->setCurrentIndex(std::max(0, default_->findData(QString::fromStdString(rules.defaultProfile))));

    status_->setText(auto_.status(language_));
    filling_ = false;
}

void AutoProfilesDlg::save(const AutoRules& rules)
{
    std::string error;
    if (!auto_.setRules(rules, &error)) {
        const QString text = qs(auto_text::kWriteFailed.in(language_)).arg(QString::fromStdString(error));
        if (seams_.warn)
            seams_.warn(this, text);
        else
            QMessageBox::warning(this, windowTitle(), text);
    }
    fill();
}

void AutoProfilesDlg::addRunning()
{
    const auto programs = auto_.runningPrograms();
    std::optional<std::string> chosen;
    if (seams_.pickProgram) {
        chosen = seams_.pickProgram(this, programs);
    } else {
        bool ok = false;
        // Editable: a name may also be typed.
        QString name = QInputDialog::getItem(this, windowTitle(), qs(auto_text::kPickProgram.in(language_)),
                                             ToList(programs), 0, true, &ok);
        if (ok) chosen = name.trimmed().toStdString();
    }
    if (chosen) addProgram(*chosen);
}

void AutoProfilesDlg::addFile()
{
    std::optional<std::string> chosen;
    if (seams_.chooseFile) {
        chosen = seams_.chooseFile(this);
    } else {
        QString file = QFileDialog::getOpenFileName(this, qs(auto_text::kChooseFile.in(language_)));
        if (!file.isEmpty()) chosen = file.toStdString();
    }
    // A rule names the program by its file name, which also matches a
    // Windows program that Wine runs from another path.
    if (chosen) addProgram(std::filesystem::path(*chosen).filename().string());
}

void AutoProfilesDlg::addProgram(const std::string& program)
{
    auto warn = [&](const QString& text) {
        if (seams_.warn)
            seams_.warn(this, text);
        else
            QMessageBox::warning(this, windowTitle(), text);
    };
    if (auto problem = ProgramProblem(program)) {
        warn(QString::fromStdString(*problem));
        return;
    }
    const auto profiles = auto_.profiles();
    if (profiles.empty()) {
        warn(qs(auto_text::kNoProfiles.in(language_)));
        return;
    }
    std::optional<std::string> profile;
    if (seams_.pickProfile) {
        profile = seams_.pickProfile(this, program, profiles);
    } else {
        bool ok = false;
        QString name = QInputDialog::getItem(
            this, windowTitle(), qs(auto_text::kPickProfile.in(language_)).arg(QString::fromStdString(program)),
            ToList(profiles), 0, false, &ok);
        if (ok) profile = name.toStdString();
    }
    if (!profile) return;
    AutoRules rules = auto_.rules();
    AddRule(rules, program, *profile);
    save(rules);
    for (int row = 0; row < table_->rowCount(); ++row)
        if (SameProgram(table_->item(row, 0)->text().toStdString(), program)) table_->selectRow(row);
}

void AutoProfilesDlg::removeSelected()
{
    const int row = table_->currentRow();
    if (row < 0 || table_->selectedItems().isEmpty()) return;
    AutoRules rules = auto_.rules();
    RemoveRule(rules, table_->item(row, 0)->text().toStdString());
    save(rules);
}

void ShowAutoProfilesDlg(AutoProfiles& profiles, int language, QWidget* parent, bool modal)
{
    static QPointer<AutoProfilesDlg> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    if (modal) {
        AutoProfilesDlg dialog(profiles, language, parent);
        open = &dialog;
        dialog.exec();
        return;
    }
    open = new AutoProfilesDlg(profiles, language, parent);
    open->setAttribute(Qt::WA_DeleteOnClose);
    // The rules' owner ends with the program; the dialog goes with it.
    AutoProfilesDlg* dialog = open;
    QObject::connect(&profiles, &QObject::destroyed, dialog, [dialog] { delete dialog; });
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace zr417

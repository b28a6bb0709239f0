// The main window's language: chosen in the View menu among the string
// table's three, remembered in the per-user settings, and applied at once
// to every text the window shows and to the message boxes it opens after.
#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

#include "FirmhandDlg.h"
#include "LogPane.h"
#include "WindowState.h"
#include "app/Logger.h"
#include "app/Startup.h"
#include "app/StringTable.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

// Each language is named in its own words, whatever the current one.
constexpr std::pair<UiLanguage, int> kLanguages[] = {
    {UiLanguage::English, IDS_LANGUAGE_ENGLISH},
    {UiLanguage::TraditionalChinese, IDS_LANGUAGE_TRADITIONAL},
    {UiLanguage::SimplifiedChinese, IDS_LANGUAGE_SIMPLIFIED},
};

}  // namespace

void CFirmhandDlg::BuildLanguageMenu(QMenu* view) {
    QMenu* menu = view->addMenu(QString::fromStdString(LoadString(IDS_MENU_LANGUAGE)));
    Texted(menu->menuAction(), IDS_MENU_LANGUAGE);
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const auto& [language, id] : kLanguages) {
        QAction* action = menu->addAction(QString::fromStdString(LoadString(id)));
        action->setCheckable(true);
        action->setChecked(language == CurrentLanguage());
        action->setData(static_cast<int>(language));
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, language = language] { ChooseLanguage(language); });
        m_languageActions.push_back(action);
    }
}

void CFirmhandDlg::ChooseLanguage(UiLanguage language) {
    if (!window_state::SaveLanguage(language)) {
        LOG_WARN("CFirmhandDlg::ChooseLanguage", "language not remembered");
    }
    if (language == CurrentLanguage()) {
        return;
    }
    SetCurrentLanguage(language);
    Retranslate();
}

void CFirmhandDlg::Retranslate() {
    setWindowTitle(QString::fromStdString(MainWindowTitle()));
    LoadTexts();  // the list's too
    for (const auto& [action, id] : m_actionTexts) {
        action->setText(QString::fromStdString(LoadString(id)));
    }
    for (QAction* action : m_languageActions) {
        action->setChecked(action->data().toInt() == static_cast<int>(CurrentLanguage()));
    }
    m_logPane->Retranslate();
    m_list->Retranslate();
    SizeStatusLabels();
    if (!m_summary.isEmpty()) {
        m_summary = BatchSummaryText();
    }
    UpdateStatusBar();
}

// What the window remembers between runs, in the per-user settings file:
// geometry, the list's column widths and order, the sort, the optional
// columns and the log pane. Values are plain texts, so that a damaged entry
// is ignored instead of trusted.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "app/Language.h"

namespace window_state {

inline constexpr const char* kGeometry = "WindowGeometry";
inline constexpr const char* kDocks = "WindowDocks";
inline constexpr const char* kColumnWidths = "ListColumnWidths";
inline constexpr const char* kColumnOrder = "ListColumnOrder";
inline constexpr const char* kSortColumn = "ListSortColumn";
inline constexpr const char* kSortAscending = "ListSortAscending";
inline constexpr const char* kShowAi = "ListShowAiColumns";
inline constexpr const char* kShowSlaveIp = "ListShowSlaveIp";
inline constexpr const char* kRolloutOpen = "RolloutPanelOpen";
inline constexpr const char* kDeveloperLog = "LogDeveloperLines";
inline constexpr const char* kLanguage = "Language";

struct SAVED_VIEW {
    QByteArray geometry;      // QWidget::saveGeometry
    QByteArray docks;         // QMainWindow::saveState
    std::vector<int> widths;  // per column; 0 keeps the start width
    std::vector<int> order;   // visual position -> column
    int sortColumn = -1;
    bool sortAscending = false;
    std::optional<bool> showAi;
    std::optional<bool> showSlaveIp;
    std::optional<bool> rolloutOpen;
    std::optional<bool> developerLog;
};

// Reads what was saved; missing or unreadable values stay at their
// defaults. `columns` is the list's column count: lists of another length
// are ignored, and an order must name each column once.
SAVED_VIEW Load(int columns);
bool Save(const SAVED_VIEW& view);

// The interface language chosen in the window ("en", "zh_TW", "zh_CN"),
// written as soon as it is chosen; none when unset or unknown.
std::optional<UiLanguage> LoadLanguage();
bool SaveLanguage(UiLanguage language);

// "1,2,3" -> {1, 2, 3}; anything but digits and commas gives nothing.
std::optional<std::vector<int>> ParseIntList(const std::string& text);
std::string IntListText(const std::vector<int>& values);

}  // namespace window_state

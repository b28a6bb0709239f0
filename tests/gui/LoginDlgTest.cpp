#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "AdapterSource.h"
#include "GuiTestSupport.h"
#include "LoginDlg.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "app/Settings.h"

namespace {

class LoginDlgTest : public CGuiTest {
protected:
    // Two adapters, as the system would list them.
    static int TwoAdapters(const AdapterVisitor& visit) {
        const GUI_ADAPTER_INFO adapters[] = {
            {"{GUID-ONE}", "Intel(R) Ethernet", {}},
            {"{GUID-TWO}", "USB adapter", {}},
        };
        int count = 0;
        for (const GUI_ADAPTER_INFO& adapter : adapters) {
            ++count;
            if (!visit(adapter)) {
                break;
            }
        }
        return count;
    }
};

}  // namespace

TEST_F(LoginDlgTest, AllAdaptersFirstAndPreselectedWithoutAStoredChoice) {
    CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
    QComboBox* list = dlg.AdapterList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->itemText(0), QStringLiteral("All adapters"));
    EXPECT_EQ(list->itemText(1), QStringLiteral("Intel(R) Ethernet"));
    EXPECT_EQ(list->itemText(2), QStringLiteral("USB adapter"));
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(dlg.GetSelectedAdapterName(), "");
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Network adapter"));
}

TEST_F(LoginDlgTest, StoredNameSelectsOnlyAnExactMatch) {
    WriteUserSettings("SelectedNetworkAdapter={GUID-TWO}\n");
    {
        CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
        EXPECT_EQ(dlg.AdapterList()->currentIndex(), 2);
        EXPECT_EQ(dlg.GetSelectedAdapterName(), "{GUID-TWO}");
    }
    WriteUserSettings("SelectedNetworkAdapter={guid-two}\n");
    {
        CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
        EXPECT_EQ(dlg.AdapterList()->currentIndex(), 0);
    }
    WriteUserSettings("SelectedNetworkAdapter={GONE}\n");
    {
        CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
        EXPECT_EQ(dlg.AdapterList()->currentIndex(), 0);
    }
}

TEST_F(LoginDlgTest, FailedAdapterListLeavesOnlyAll) {
    CLoginDlg dlg([](const AdapterVisitor&) { return -1; });
    EXPECT_EQ(dlg.AdapterList()->count(), 1);
    EXPECT_EQ(dlg.AdapterList()->itemText(0), QStringLiteral("All adapters"));
}

// The dialog speaks the technician's language and tells adapters apart by
// their addresses.
TEST_F(LoginDlgTest, TextsFollowTheLanguageAndAdaptersShowTheirAddresses) {
    const auto withAddresses = [](const AdapterVisitor& visit) {
        visit(GUI_ADAPTER_INFO{"eth0", "eth0", {"192.168.1.20/24", "10.0.0.5/8"}});
        return 1;
    };
    {
        CLoginDlg dlg(withAddresses);
        EXPECT_EQ(dlg.AdapterList()->itemText(1),
                  QStringLiteral("eth0  (192.168.1.20/24, 10.0.0.5/8)"));
        EXPECT_EQ(dlg.ConfirmButton()->text(), QStringLiteral("Confirm"));
        EXPECT_EQ(dlg.AdapterList()->accessibleName(), QStringLiteral("Network adapter:"));
    }
    SetCurrentLanguage(UiLanguage::SimplifiedChinese);
    {
        CLoginDlg dlg(withAddresses);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("参数配置"));
        EXPECT_EQ(dlg.AdapterList()->itemText(0), QStringLiteral("全部"));
        EXPECT_EQ(dlg.ConfirmButton()->text(), QStringLiteral("配  置"));
    }
    SetCurrentLanguage(UiLanguage::TraditionalChinese);
    {
        CLoginDlg dlg(withAddresses);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("參數配置"));
    }
    SetCurrentLanguage(UiLanguage::English);
}

TEST_F(LoginDlgTest, ConfirmGivesAndStoresTheChoice) {
    CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
    EXPECT_FALSE(dlg.ChosenAdapter());
    dlg.AdapterList()->setCurrentIndex(1);
    dlg.ConfirmButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ChosenAdapter(), std::optional<std::string>("{GUID-ONE}"));
    ResetIniPaths();
    EXPECT_EQ(settings::GetString(settings::kSelectedNetworkAdapter), "{GUID-ONE}");

    // "All adapters" gives and stores an empty name.
    CLoginDlg again(&LoginDlgTest::TwoAdapters);
    EXPECT_EQ(again.AdapterList()->currentIndex(), 1);  // remembered
    again.AdapterList()->setCurrentIndex(0);
    again.ConfirmButton()->click();
    EXPECT_EQ(again.ChosenAdapter(), std::optional<std::string>(""));
    ResetIniPaths();
    EXPECT_EQ(settings::GetString(settings::kSelectedNetworkAdapter), "");
}

TEST_F(LoginDlgTest, CancelStoresNothing) {
    WriteUserSettings("SelectedNetworkAdapter={GUID-ONE}\n");
    CLoginDlg dlg(&LoginDlgTest::TwoAdapters);
    dlg.AdapterList()->setCurrentIndex(2);
    dlg.reject();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.ChosenAdapter());
    ResetIniPaths();
    EXPECT_EQ(settings::GetString(settings::kSelectedNetworkAdapter), "{GUID-ONE}");
}

TEST_F(LoginDlgTest, SystemAdaptersFillTheDialog) {
    int visited = 0;
    const int count = SystemAdapterEnumerator()([&visited](const GUI_ADAPTER_INFO& adapter) {
        EXPECT_FALSE(adapter.name.empty());
        ++visited;
        return true;
    });
    ASSERT_GE(count, 0) << "the system's adapter list could not be read";
    EXPECT_EQ(count, visited);
    CLoginDlg dlg(SystemAdapterEnumerator());
    EXPECT_EQ(dlg.AdapterList()->count(), count + 1);
}

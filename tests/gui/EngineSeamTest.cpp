#include <gtest/gtest.h>

#include <QComboBox>

#include "AdapterSource.h"
#include "EngineUpgradeController.h"
#include "FirmhandDlg.h"
#include "GuiTestSupport.h"
#include "LoginDlg.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeEngine.h"

namespace {

class EngineSeamTest : public CGuiTest {};

}  // namespace

// The real engine behind the window: a package that cannot be read stops
// the start with its message, leaves the controls free, and the next press
// starts from an empty job table.
TEST_F(EngineSeamTest, PackageThatDoesNotOpenThroughTheEngine) {
    CFirmhandDlg dlg;
    auto engine = std::make_shared<CUpgradeEngine>(dlg.MessageSink());
    auto controller = std::make_shared<CEngineUpgradeController>(engine);

    UPGRADE_BATCH_REQUEST request;
    request.devices.push_back(*MakeDevice(DeviceSpec{"00:11:22:33:44:55"}));
    request.packagePath = m_sandbox.File("missing.bin");
    EXPECT_EQ(controller->StartBatch(request), IDS_OPEN_FILE_FAILED);
    EXPECT_FALSE(engine->IsUpgrading());
    EXPECT_TRUE(controller->HasJob("00:11:22:33:44:55"));  // left until the next start
    controller->CancelAllJobs();
    EXPECT_FALSE(controller->HasJob("00:11:22:33:44:55"));

    request.packagePath.clear();
    EXPECT_EQ(controller->StartBatch(request), IDS_SELECT_FILE);
    // No batch runs: a stray result ends nothing.
    EXPECT_FALSE(controller->OnUpgradeResult(0, "00:11:22:33:44:55"));
}

TEST_F(EngineSeamTest, SystemAdaptersFillTheDialog) {
    int visited = 0;
    const int count = SystemAdapterEnumerator()([&visited](const GUI_ADAPTER_INFO& adapter) {
        EXPECT_FALSE(adapter.name.empty());
        ++visited;
        return true;
    });
    if (count < 0) {
        GTEST_SKIP() << "no adapter list on this machine";
    }
    EXPECT_EQ(count, visited);
    CLoginDlg dlg(SystemAdapterEnumerator(), nullptr);
    EXPECT_EQ(dlg.AdapterList()->count(), count + 1);
}

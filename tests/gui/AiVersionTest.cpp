// The analytics versions in the window: button 1019 has the session ask
// simulated cameras' HTTP API; the handling of WM_AI_VERSION_RESULT. The
// answers fill the analytics columns; the result column stays the upgrade's.
#include <gtest/gtest.h>

#include <optional>

#include "FirmhandDlgFixture.h"
#include "GuiSimSupport.h"
#include "app/StringTable.h"
#include "http/AiVersionResult.h"

namespace {

class AiVersionTest : public FirmhandDlgTest {
protected:
    void SetUp() override {
        FirmhandDlgTest::SetUp();
        SimOptions(1);  // the cameras' addresses
        Open();
    }
    // A row for a simulated camera, as its search report would make it.
    void AddRow(const SimCameraInfo& where, const std::string& ip, const std::string& ip2) {
        DeviceFields fields;
        fields.mac = where.mac;
        fields.ip = ip;
        fields.ip2 = ip2;
        fields.httpPort = where.httpPort;
        auto record = MakeDevice(fields);
        record->dataPort = where.dataPort;
        m_dlg->List().addDeviceItem(std::move(record));
    }
    void AddRow(const SimCameraInfo& where) { AddRow(where, where.ip, where.ip2); }
    QString Cell(const std::string& mac, int column) {
        return DeviceList().CellText(m_dlg->List().findDeviceItem(mac), column);
    }
    static QString Text(int id) { return QString::fromStdString(LoadString(id)); }
};

}  // namespace

TEST_F(AiVersionTest, CheckedCamerasAnswerInListOrder) {
    SimCameraConfig good = m_sim->Camera(0);
    good.password = "admin123";
    good.structVersion = "S2.1";
    good.faceDetectVersion = "F3.0";
    good.vehicleVersion = "V1.4";
    SimCameraConfig noFace = m_sim->Camera(1);
    noFace.password = "admin123";
    noFace.faceDetectVersion.reset();
    SimCameraConfig missing = m_sim->Camera(2);  // answers 404: no analytics
    missing.password = "admin123";
    missing.faults.http404 = true;
    SimCameraConfig unchecked = m_sim->Camera(3);
    for (const auto& camera : {good, noFace, missing, unchecked}) {
        m_fleet.AddCamera(camera);
    }
    std::string error;
    ASSERT_TRUE(m_fleet.Start(&error)) << error;
    // A camera whose two addresses both refuse.
    SimCameraInfo dead = *m_fleet.Camera(good.mac);
    dead.mac = "02:01:00:00:00:99";
    for (const SimCameraConfig& camera : {unchecked, missing, noFace}) {
        AddRow(*m_fleet.Camera(camera.mac));
    }
    AddRow(dead, m_sim->DeadAddress(1), m_sim->DeadAddress(2));
    AddRow(*m_fleet.Camera(good.mac));  // top row
    for (const std::string& mac : {good.mac, dead.mac, missing.mac, noFace.mac}) {
        Check(mac);
    }
    DeviceList().SetCellText(m_dlg->List().findDeviceItem(unchecked.mac), COL_AI_STRUCT,
                             QStringLiteral("old"));
    DeviceList().SetCellText(m_dlg->List().findDeviceItem(noFace.mac), COL_AI_STRUCT,
                             QStringLiteral("old"));
    DeviceList().SetCellText(m_dlg->List().findDeviceItem(noFace.mac), COL_RESULT,
                             QStringLiteral("upgraded"));
    qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PASSWORD))->setText(QStringLiteral("admin123"));

    // The order in which the results arrive.
    std::vector<std::string> order;
    QObject::connect(
        &DeviceList(), &QAbstractItemModel::dataChanged, m_dlg,
        [&](const QModelIndex& from, const QModelIndex& to) {
            if (from.column() <= COL_AI_STRUCT && COL_AI_STRUCT <= to.column()) {
                const QString text = DeviceList().CellText(from.row(), COL_AI_STRUCT);
                if (!text.isEmpty() && text != QStringLiteral("old")) {
                    order.emplace_back(FieldText(DeviceList().Record(from.row())->mac));
                }
            }
        });

    m_dlg->OnBnClickedButtonGetAiVersion();
    // The window goes on at once; the button waits for the last answer.
    EXPECT_TRUE(m_dlg->IsAiQueryPending());
    EXPECT_FALSE(m_dlg->Control(IDC_GET_AI_VERSION)->isEnabled());
    EXPECT_EQ(Cell(noFace.mac, COL_AI_STRUCT), QString()) << "checked rows are cleared";
    EXPECT_EQ(Cell(unchecked.mac, COL_AI_STRUCT), QStringLiteral("old"));

    ASSERT_TRUE(PumpUntil([&] { return !m_dlg->IsAiQueryPending(); }, 20000));
    EXPECT_TRUE(m_dlg->Control(IDC_GET_AI_VERSION)->isEnabled());
    EXPECT_TRUE(m_dlg->messages.empty());
    // Top to bottom: new rows went on top.
    EXPECT_EQ(order, (std::vector<std::string>{good.mac, dead.mac, noFace.mac, missing.mac}));

    EXPECT_EQ(Cell(good.mac, COL_AI_STRUCT), QStringLiteral("S2.1"));
    EXPECT_EQ(Cell(good.mac, COL_AI_DETECT_FACE), QStringLiteral("F3.0"));
    EXPECT_EQ(Cell(good.mac, COL_AI_VEHICLE), QStringLiteral("V1.4"));
    EXPECT_EQ(Cell(good.mac, COL_RESULT), QString());
    EXPECT_EQ(Cell(dead.mac, COL_AI_STRUCT), Text(IDS_AI_FAILED));
    EXPECT_EQ(Cell(missing.mac, COL_AI_STRUCT), Text(IDS_AI_NOT_SUPPORTED));
    EXPECT_EQ(Cell(missing.mac, COL_AI_VEHICLE), QString());
    EXPECT_EQ(Cell(noFace.mac, COL_AI_STRUCT), QStringLiteral("1.0.0"));
    EXPECT_EQ(Cell(noFace.mac, COL_AI_DETECT_FACE), QString());
    EXPECT_EQ(Cell(noFace.mac, COL_AI_VEHICLE), QStringLiteral("1.0.0"));
    EXPECT_EQ(Cell(noFace.mac, COL_RESULT), QStringLiteral("upgraded"));
    EXPECT_EQ(Cell(unchecked.mac, COL_AI_STRUCT), QStringLiteral("old"));
    EXPECT_EQ(m_fleet.State(unchecked.mac)->httpRequests, 0);

    // The analytics columns came up with the first answer.
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());
    EXPECT_GT(m_dlg->List().ColumnWidth(COL_AI_STRUCT), 0);
}

TEST_F(AiVersionTest, NothingCheckedAsksForACamera) {
    AddCameras(2);
    m_dlg->OnBnClickedButtonGetAiVersion();
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_SELECT_SAME_AI}));
    EXPECT_FALSE(m_dlg->IsAiQueryPending());
    EXPECT_TRUE(m_dlg->Control(IDC_GET_AI_VERSION)->isEnabled());
}

TEST_F(AiVersionTest, ResultMessagesMatchCheckedRowsByExactMac) {
    DeviceFields fields;
    fields.mac = "AA:BB:CC:00:00:01";
    m_dlg->List().addDeviceItem(MakeDevice(fields));
    fields.mac = "AA:BB:CC:00:00:02";
    m_dlg->List().addDeviceItem(MakeDevice(fields));
    Check("AA:BB:CC:00:00:01");
    auto post = [this](CWindowMessage message) {
        Post(std::move(message));
        ProcessGuiEvents();
    };

    // Another letter case, or an unchecked row: nothing changes. A failure
    // of no checked row does not bring up the columns; a read reply does,
    // row or not.
    post(MakeAiVersionFailedMessage("AA:BB:CC:00:00:02"));
    EXPECT_FALSE(m_dlg->List().AreAiColumnsShown());
    post(MakeAiVersionReadMessage("aa:bb:cc:00:00:01", "1", "2", "3"));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_STRUCT), QString());
    EXPECT_EQ(Cell("AA:BB:CC:00:00:02", COL_AI_STRUCT), QString());
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());

    post(MakeAiVersionReadMessage("AA:BB:CC:00:00:01", "S", "F", "V"));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_STRUCT), QStringLiteral("S"));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_VEHICLE), QStringLiteral("V"));

    // Three empty versions: "not supported" stands in the first column.
    post(MakeAiVersionReadMessage("AA:BB:CC:00:00:01", "", "", ""));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_STRUCT), Text(IDS_AI_NOT_SUPPORTED));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_VEHICLE), QString());

    post(MakeAiVersionFailedMessage("AA:BB:CC:00:00:01"));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_STRUCT), Text(IDS_AI_FAILED));
    // Any other wParam changes nothing.
    post(MakeTextMessage(WM_AI_VERSION_RESULT, 22, "AA:BB:CC:00:00:01#9_9_9"));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_AI_STRUCT), Text(IDS_AI_FAILED));
    EXPECT_EQ(Cell("AA:BB:CC:00:00:01", COL_RESULT), QString()) << "the upgrade's column";
}

TEST_F(AiVersionTest, HiddenColumnsComeBackWithTheNextAnswer) {
    m_dlg->List().OnShowAiVersion();
    m_dlg->List().OnShowAiVersion();
    EXPECT_FALSE(m_dlg->List().AreAiColumnsShown());
    Post(MakeAiVersionReadMessage("no:row", "1", "", ""));
    ProcessGuiEvents();
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());
    EXPECT_EQ(ControlText(IDC_SHOW_AI), QStringLiteral("Hide AI Version"));
}

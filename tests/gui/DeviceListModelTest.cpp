#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QPersistentModelIndex>

#include "DeviceListModel.h"
#include "GuiTestSupport.h"
#include "app/StringTable.h"

namespace {

class DeviceListModelTest : public CGuiTest {
protected:
    void Add(const std::string& mac, const std::string& ip = "192.168.1.10") {
        DeviceFields fields;
        fields.mac = mac;
        fields.ip = ip;
        ASSERT_TRUE(m_model.AddDeviceItem(MakeDevice(fields)));
    }
    std::string Cell(int row, int column) const {
        return m_model.CellText(row, column).toStdString();
    }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> texts;
        for (int row = 0; row < m_model.RowCount(); ++row) {
            texts.push_back(Cell(row, column));
        }
        return texts;
    }

    CDeviceListModel m_model;
};

using Texts = std::vector<std::string>;

}  // namespace

TEST_F(DeviceListModelTest, NewRowsGoOnTopAndEveryRowIsRenumbered) {
    Add("00:00:00:00:00:01");
    Add("00:00:00:00:00:02");
    Add("00:00:00:00:00:03");
    EXPECT_EQ(Column(COL_MAC),
              (Texts{"00:00:00:00:00:03", "00:00:00:00:00:02", "00:00:00:00:00:01"}));
    EXPECT_EQ(Column(COL_INDEX), (Texts{"1", "2", "3"}));
    EXPECT_EQ(m_model.FindDeviceItem("00:00:00:00:00:01"), 2);
    EXPECT_EQ(m_model.FindDeviceItem("00:00:00:00:00:09"), -1);

    // Removal leaves the numbers as they were; the next new row renumbers.
    EXPECT_TRUE(m_model.RemoveDeviceItem("00:00:00:00:00:02"));
    EXPECT_FALSE(m_model.RemoveDeviceItem("00:00:00:00:00:02"));
    EXPECT_EQ(Column(COL_INDEX), (Texts{"1", "3"}));
    EXPECT_EQ(m_model.FindDeviceItem("00:00:00:00:00:01"), 1);
    Add("00:00:00:00:00:04");
    EXPECT_EQ(Column(COL_INDEX), (Texts{"1", "2", "3"}));
    EXPECT_EQ(m_model.FindDeviceItem("00:00:00:00:00:01"), 2);
}

TEST_F(DeviceListModelTest, ReportInOtherLetterCaseUpdatesTheRow) {
    Add("AA:BB:CC:00:00:01", "192.168.1.10");
    Add("aa:bb:cc:00:00:01", "192.168.1.99");
    ASSERT_EQ(m_model.RowCount(), 1);
    EXPECT_EQ(Cell(0, COL_IP), "192.168.1.99");
    EXPECT_EQ(Cell(0, COL_MAC), "aa:bb:cc:00:00:01");  // the record was replaced whole
    EXPECT_EQ(m_model.FindDeviceItem("Aa:Bb:Cc:00:00:01"), 0);
    EXPECT_TRUE(m_model.RemoveDeviceItem("AA:BB:CC:00:00:01"));
    EXPECT_EQ(m_model.RowCount(), 0);
}

TEST_F(DeviceListModelTest, IdenticalReportChangesNothing) {
    Add("00:00:00:00:00:01");
    m_model.SetCellText(0, COL_RESULT, QStringLiteral("45%"));
    int changes = 0;
    QObject::connect(&m_model, &QAbstractItemModel::dataChanged, &m_model,
                     [&changes] { ++changes; });
    QObject::connect(&m_model, &QAbstractItemModel::rowsInserted, &m_model,
                     [&changes] { ++changes; });
    Add("00:00:00:00:00:01");
    EXPECT_EQ(changes, 0);
    // A changed report redraws the row but keeps the texts it does not set.
    Add("00:00:00:00:00:01", "10.0.0.1");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Cell(0, COL_IP), "10.0.0.1");
    EXPECT_EQ(Cell(0, COL_RESULT), "45%");
    EXPECT_FALSE(m_model.AddDeviceItem(nullptr));
}

TEST_F(DeviceListModelTest, RowTexts) {
    DeviceFields fields;
    fields.mac = "00:00:00:00:00:01";
    fields.name = "Hall \xE9\x97\xA8";  // UTF-8
    fields.version = "2.0.1beta";
    fields.build = 5;
    fields.activated = 2;
    fields.ip2 = "172.16.0.5";
    ASSERT_TRUE(m_model.AddDeviceItem(MakeDevice(fields)));
    EXPECT_EQ(m_model.CellText(0, COL_NAME), QStringLiteral("Hall 门"));
    EXPECT_EQ(Cell(0, COL_VERSION), "2.0.1(5)beta");
    EXPECT_EQ(Cell(0, COL_SLAVE_IP), "172.16.0.5");
    EXPECT_EQ(Cell(0, COL_PRODUCT), "IPC-100");
    EXPECT_EQ(Cell(0, COL_BUILD_DATE), "2024-01-05");
    EXPECT_EQ(Cell(0, COL_KERNEL), "4.9.0");
    EXPECT_EQ(Cell(0, COL_ACTIVE_STATE), "");  // 2 has no text

    fields.activated = 1;
    m_model.AddDeviceItem(MakeDevice(fields));
    EXPECT_EQ(Cell(0, COL_ACTIVE_STATE), "Nonactivated");
    fields.activated = 7;  // leaves the column as it was
    m_model.AddDeviceItem(MakeDevice(fields));
    EXPECT_EQ(Cell(0, COL_ACTIVE_STATE), "Nonactivated");
    fields.activated = 0;
    m_model.AddDeviceItem(MakeDevice(fields));
    EXPECT_EQ(Cell(0, COL_ACTIVE_STATE), "Activated");
}

TEST_F(DeviceListModelTest, SortKeepsNumbersAndSelection) {
    Add("00:00:00:00:00:01", "10.0.0.2");
    Add("00:00:00:00:00:02", "9.0.0.1");
    Add("00:00:00:00:00:03", "10.0.0.10");
    QItemSelectionModel selection(&m_model);
    selection.select(m_model.index(m_model.FindDeviceItem("00:00:00:00:00:02"), 0),
                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_model.SetChecked(m_model.FindDeviceItem("00:00:00:00:00:03"), true);

    ASSERT_TRUE(m_model.SortByColumn(COL_IP, false));
    EXPECT_EQ(Column(COL_IP), (Texts{"10.0.0.10", "10.0.0.2", "9.0.0.1"}));
    EXPECT_EQ(Column(COL_INDEX), (Texts{"1", "3", "2"}));
    EXPECT_TRUE(m_model.IsChecked(0));
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows()[0].row(), 2);
    EXPECT_EQ(m_model.FindDeviceItem("00:00:00:00:00:02"), 2);

    ASSERT_TRUE(m_model.SortByColumn(COL_IP, true));
    EXPECT_EQ(Column(COL_IP), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
    EXPECT_EQ(selection.selectedRows()[0].row(), 0);

    EXPECT_FALSE(m_model.SortByColumn(COL_BUILD_DATE, true));
    EXPECT_FALSE(m_model.SortByColumn(COL_INDEX, true));
    EXPECT_EQ(Column(COL_IP), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
}

TEST_F(DeviceListModelTest, ChecksAndSameModel) {
    DeviceFields fields;
    for (const auto& [mac, model] :
         std::vector<std::pair<std::string, std::string>>{{"01", "A"}, {"02", "B"}, {"03", "A"}}) {
        fields.mac = mac;
        fields.model = model;
        m_model.AddDeviceItem(MakeDevice(fields));
    }
    std::string model = "unchanged";
    EXPECT_FALSE(m_model.IsCheckedSameModel(model));  // nothing checked
    EXPECT_EQ(model, "unchanged");

    int userToggles = 0;
    QObject::connect(&m_model, &CDeviceListModel::CheckToggledByUser, &m_model,
                     [&userToggles](int) { ++userToggles; });
    // A click through the view.
    ASSERT_TRUE(m_model.setData(m_model.index(m_model.FindDeviceItem("01"), COL_CHECK), Qt::Checked,
                                Qt::CheckStateRole));
    EXPECT_EQ(userToggles, 1);
    EXPECT_TRUE(m_model.IsCheckedSameModel(model));
    EXPECT_EQ(model, "A");

    m_model.SetChecked(m_model.FindDeviceItem("02"), true);  // not a user's click
    EXPECT_EQ(userToggles, 1);
    EXPECT_FALSE(m_model.IsCheckedSameModel(model));

    m_model.SetAllChecked(false);
    m_model.CheckModel("A");
    EXPECT_EQ(m_model.CheckedRows(), (std::vector<int>{0, 2}));
    EXPECT_EQ(m_model.data(m_model.index(0, COL_CHECK), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(m_model.flags(m_model.index(0, COL_CHECK)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(m_model.flags(m_model.index(0, COL_MAC)) & Qt::ItemIsUserCheckable);
}

TEST_F(DeviceListModelTest, ResultTexts) {
    Add("00:00:00:00:00:01");
    Add("00:00:00:00:00:02");
    EXPECT_TRUE(m_model.SetResultText("00:00:00:00:00:01", QStringLiteral("10%")));
    EXPECT_FALSE(m_model.SetResultText("00:00:00:00:00:09", QStringLiteral("10%")));
    EXPECT_EQ(Column(COL_RESULT), (Texts{"", "10%"}));
    m_model.SetResultText("00:00:00:00:00:02", QStringLiteral("x"));
    m_model.ClearResultTexts();
    EXPECT_EQ(Column(COL_RESULT), (Texts{"", ""}));
}

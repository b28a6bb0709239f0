// The window's cameras that the search has not found: "Add cameras not
// found" puts them in the list (from the site's inventory, or by MAC), and
// a batch with such rows checked waits for them up to "Wait for missing".
#include <QMenu>
#include <QPushButton>

#include "AddCameraMacDlg.h"
#include "FirmhandDlg.h"
#include "NotFoundCamerasDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "model/MacAddress.h"
#include "model/SafeText.h"
#include "model/WaitDuration.h"
#include "session/SessionTypes.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

std::unique_ptr<DEVICE_S_INFO> NotFoundRecord(const std::string& mac) {
    std::unique_ptr<DEVICE_S_INFO> record = MakeEmptyDeviceInfo();
    CopyField(record->mac, mac);
    record->build = -1;            // no version known
    record->deviceActivated = -1;  // nor whether it is activated
    return record;
}

}  // namespace

QPushButton* CFirmhandDlg::BuildAddNotFoundButton(QWidget* central) {
    auto* button = new QPushButton(central);
    button->setObjectName(QStringLiteral("ctl%1").arg(IDC_ADD_NOT_FOUND));
    m_controls[IDC_ADD_NOT_FOUND] = button;
    auto* menu = new QMenu(button);
    connect(Texted(menu->addAction(QString()), IDS_ADD_FROM_INVENTORY), &QAction::triggered, this,
            [this] { OpenAddFromInventory(); });
    connect(Texted(menu->addAction(QString()), IDS_ADD_BY_MAC), &QAction::triggered, this,
            [this] { OpenAddByMac(); });
    button->setMenu(menu);
    return button;
}

bool CFirmhandDlg::IsListed(const std::string& mac) const {
    return DeviceList().FindDeviceItem(mac) >= 0;
}

bool CFirmhandDlg::AddNotFoundCamera(const std::string& mac) {
    const std::optional<CMacAddress> parsed = CMacAddress::Parse(mac);
    if (!parsed) {
        return false;
    }
    return m_list->AddNotFoundCamera(NotFoundRecord(parsed->Text()));
}

bool CFirmhandDlg::AddNotFoundCamera(const INVENTORY_CAMERA& camera) {
    const std::optional<CMacAddress> parsed = CMacAddress::Parse(camera.mac);
    if (!parsed) {
        return false;  // a recorded text that is no MAC cannot be waited for
    }
    // What the inventory last saw of it; the version may have changed since.
    std::unique_ptr<DEVICE_S_INFO> record = NotFoundRecord(parsed->Text());
    CopyField(record->devName, camera.name);
    CopyField(record->productModel, camera.model);
    CopyField(record->ip, camera.ip);
    CopyField(record->ip2, camera.ip2);
    return m_list->AddNotFoundCamera(std::move(record));
}

CAddCameraMacDlg* CFirmhandDlg::OpenAddByMac() {
    auto* dialog =
        new CAddCameraMacDlg([this](const std::string& mac) { return IsListed(mac); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (AddNotFoundCamera(dialog->Mac())) {
            LOG_INFO("CFirmhandDlg::OpenAddByMac", "camera not found added, mac: %s",
                     dialog->Mac().c_str());
        }
    });
    dialog->open();
    return dialog;
}

CNotFoundCamerasDlg* CFirmhandDlg::OpenAddFromInventory() {
    auto* dialog = new CNotFoundCamerasDlg(
        InventoryPath(), InventorySite(), [this](const std::string& mac) { return IsListed(mac); },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        for (const INVENTORY_CAMERA& camera : dialog->Chosen()) {
            AddNotFoundCamera(camera);
        }
    });
    dialog->open();
    return dialog;
}

bool CFirmhandDlg::TakeWaitTime(bool needed, int& seconds, std::string& text) {
    seconds = 0;
    text = m_rolloutPanel->WaitForMissing().toStdString();
    std::string problem;
    // A time typed is checked even when nothing is waited for: a mistyped
    // one is told before anything starts, as the CLI does.
    if (!text.empty() && !ParseWaitDuration(text, seconds, problem)) {
        m_messageDetail = QString::fromStdString(VisibleText(text) + ": " + problem);
        ShowMessage(IDS_WAIT_INVALID, false);
        m_messageDetail.clear();
        return false;
    }
    if (needed && seconds == 0) {
        ShowMessage(IDS_WAIT_NEEDED, false);
        return false;
    }
    return true;
}

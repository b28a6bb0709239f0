#include "ScanCommand.h"

#include <ostream>

#include "CommandSession.h"
#include "ProgressJson.h"
#include "TargetChoice.h"
#include "TextTable.h"
#include "app/ActivationText.h"
#include "app/StringTable.h"
#include "model/DeviceJson.h"
#include "model/DeviceText.h"
#include "model/JsonText.h"

std::vector<std::string> DeviceTableHeadings() {
    return {LoadString(IDS_COL_INDEX),
            LoadString(IDS_COL_NAME),
            LoadString(IDS_COL_IP),
            LoadString(IDS_COL_SLAVE_IP),
            LoadString(IDS_COL_MAC),
            LoadString(IDS_COL_PRODUCT_TYPE),
            LoadString(IDS_COL_SOFTWARE_VERSION),
            LoadString(IDS_COL_BUILD_DATE),
            LoadString(IDS_COL_KERNEL_VERSION),
            LoadString(IDS_COL_ACTIVE_STATE)};
}

std::vector<std::string> DeviceTableRow(int index, const DEVICE_S_INFO& r) {
    std::string activation;
    DeviceActivationText(r, activation);
    return {std::to_string(index), r.devName,   r.ip,        r.ip2,     r.mac, r.productModel,
            DeviceVersionText(r),  r.buildDate, r.kernelVer, activation};
}

void FitDeviceTable(CTextTable& table, std::optional<TerminalSize> terminal) {
    if (!terminal) {
        return;
    }
    // What tells cameras apart and what an upgrade needs stay whole; the
    // second address, build date, kernel and activation give way.
    table.SetMaxWidth(static_cast<size_t>(terminal->columns));
    table.SetNarrowGapWhenTight();
    table.SetFit(1, CTextTable::Fit::Shrink);  // name
    table.SetFit(3, CTextTable::Fit::Drop);    // second address
    table.SetFit(5, CTextTable::Fit::Shrink);  // model
    for (const size_t column : {7, 8, 9}) {
        table.SetFit(column, CTextTable::Fit::Drop);
    }
}

CJsonObject DeviceJsonObject(const DEVICE_S_INFO& r) {
    std::string activation;
    DeviceActivationText(r, activation);
    return DeviceJsonObject(r, activation);
}

std::string DeviceJson(const DEVICE_S_INFO& r) {
    return DeviceJsonObject(r).Text();
}

int RunScan(const ScanOptions& options, const CliContext& context, std::ostream& out,
            std::ostream& err) {
    CCommandSession run(CommandSessionOptions(context, options.targets, options.adapter),
                        context.stopRequested);
    if (const std::optional<int> status = run.StartAndSearch(options.seconds, err)) {
        return *status;
    }
    run.Session().Stop();
    run.Drain({});  // an inventory notice posted at the end of the search
    const std::vector<DeviceInfoPtr> devices =
        options.onlyTargets ? CamerasAtTargets(run.Session().Devices(), options.targets)
                            : run.Session().Devices();
    CProgressEvents(context.events).Scan(devices);
    if (devices.empty()) {
        err << "firmhand-cli: " << run.NothingFoundText(options.seconds) << "\n";
        return kNoCameraExitStatus;
    }

    if (options.json) {
        std::vector<std::string> items;
        for (const DeviceInfoPtr& record : devices) {
            items.push_back(DeviceJson(*record));
        }
        out << JsonArray(items) << "\n";
        return 0;
    }
    CTextTable table(DeviceTableHeadings());
    int index = 1;
    for (const DeviceInfoPtr& record : devices) {
        table.AddRow(DeviceTableRow(index++, *record));
    }
    FitDeviceTable(table, context.terminal ? context.terminal() : std::nullopt);
    table.Print(out);
    return 0;
}

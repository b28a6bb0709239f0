#include "UpgradeCommand.h"

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <ostream>

#include "DeviceScanner.h"
#include "ProgressView.h"
#include "UpgradeReport.h"
#include "model/DeviceText.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "reach/Reachability.h"
#include "upgrade/UpgradeEngine.h"
#include "upgrade/UpgradeResult.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<DeviceInfoPtr> ChooseDevices(const UpgradeOptions& options,
                                         const CDeviceScanner& scanner, std::ostream& err) {
    std::vector<DeviceInfoPtr> chosen;
    if (options.all) {
        return scanner.Devices();
    }
    if (!options.model.empty()) {
        for (const DeviceInfoPtr& record : scanner.Devices()) {
            if (options.model == record->productModel) {
                chosen.push_back(record);
            }
        }
        return chosen;
    }
    for (const std::string& mac : options.macs) {
        if (DeviceInfoPtr record = scanner.Find(mac)) {
            chosen.push_back(record);
        } else {
            err << "firmhand-cli: camera " << mac << " was not found\n";
        }
    }
    return chosen;
}

bool AskToContinue(const std::vector<std::string>& macs, bool yes, std::ostream& err) {
    err << LoadString(IDS_DUPLICATE_SLAVE_IP) << "\n";
    for (const std::string& mac : macs) {
        err << "  " << mac << "\n";
    }
    if (yes) {
        return true;
    }
    if (!isatty(STDIN_FILENO)) {
        err << "firmhand-cli: not continuing without --yes\n";
        return false;
    }
    err << "Continue? [y/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace

int RunUpgrade(const UpgradeOptions& options, std::ostream& out, std::ostream& err) {
    CDeviceScanner scanner(options.targets, options.adapter);
    auto engine = std::make_unique<CUpgradeEngine>(scanner.Queue());
    if (options.reachability) {
        engine->SetReachability(std::make_shared<CReachability>());
    }
    scanner.onReport = [&engine](int kind, const DEVICE_S_INFO& record) {
        engine->OnSearchReport(kind, record);
    };
    scanner.keepOnGone = [&engine](const std::string& mac) { return engine->HasJob(mac); };
    if (!scanner.Start()) {
        err << "firmhand-cli: the device search could not be started\n";
        return 2;
    }
    scanner.Pump(static_cast<int>(options.seconds * 1000));

    BatchRequest request;
    request.devices = ChooseDevices(options, scanner, err);
    request.packagePath = options.package;
    request.user = options.userGiven ? options.user : settings::GetString(settings::kUsername);
    request.password =
        options.passwordGiven ? options.password : settings::GetString(settings::kPassword);
    request.confirmDuplicates = [&](const std::vector<std::string>& macs) {
        return AskToContinue(macs, options.yes, err);
    };

    std::vector<CameraOutcome> outcomes;
    for (const DeviceInfoPtr& record : request.devices) {
        CameraOutcome outcome;
        outcome.mac = record->mac;
        outcome.ip = record->ip;
        outcome.oldVersion = DeviceVersionText(*record);
        outcomes.push_back(outcome);
    }

    const BatchStartResult started = engine->StartBatch(request);
    if (started != BatchStartResult::Started) {
        if (const int id = BatchStartMessageId(started)) {
            err << LoadString(id) << "\n";
        }
        return 2;
    }
    const auto batchStart = Clock::now();
    CProgressView view(out, isatty(STDOUT_FILENO) != 0);
    bool over = false;
    const auto onMessage = [&](CWindowMessage& message) {
        const std::string& mac = message.Text();
        for (size_t i = 0; i < outcomes.size(); ++i) {
            CameraOutcome& o = outcomes[i];
            if (!SameMac(o.mac, mac)) {
                continue;
            }
            if (message.id == WM_UPGRADE_PROGRESS) {
                o.progress = message.wParam + 1;
                o.state = std::to_string(message.wParam) + "%";
            } else if (message.id == WM_UPGRADE_RESULT) {
                if (message.wParam == UPGRADE_STATE_STARTING) {
                    ++o.attempts;
                    o.progress = 0;
                }
                if (IsIntermediateResult(message.wParam)) {
                    o.state = ResultCodeToText(message.wParam);
                } else {
                    o.code = message.wParam;
                    o.seconds = std::chrono::duration<double>(Clock::now() - batchStart).count();
                }
            }
            view.Update(outcomes, i);
        }
        if (message.id == WM_UPGRADE_RESULT && engine->OnUpgradeResult(message.wParam, mac)) {
            over = true;
        }
    };
    while (!over) {
        scanner.PumpUntil([&] { return over; }, 1000, onMessage);
    }
    view.Finish(outcomes);
    // One more look at the reports the cameras sent after their return.
    scanner.Pump(200, onMessage);
    for (CameraOutcome& o : outcomes) {
        if (const DeviceInfoPtr record = scanner.Find(o.mac)) {
            o.newVersion = DeviceVersionText(*record);
        }
    }
    engine->WaitForWorkers(10000);
    scanner.Stop();

    out << "\n";
    PrintOutcomeTable(outcomes, out);
    if (!options.report.empty() && !WriteOutcomeReport(outcomes, options.report)) {
        err << "firmhand-cli: the report " << options.report << " could not be written\n";
    }
    for (const CameraOutcome& o : outcomes) {
        if (o.code != UPGRADE_OK) {
            return 1;
        }
    }
    return 0;
}

#include "upgrade/UpgradeProcedure.h"

#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "upgrade/DeviceWaits.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeTimings.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

constexpr const char* kUpgradeFunc = "CFirmhandDlg::upgradeDevice";

// Client results that the transfer maps to upgrade results.
constexpr uint32_t kClientOk = 0;
constexpr uint32_t kClientBadCredentials = 1;
constexpr uint32_t kClientLinkLost = 4;
constexpr uint32_t kClientTooManyConnections = 6;
constexpr uint32_t kClientUpgradeError = 8;
constexpr uint32_t kClientTooOld = 13;
constexpr uint32_t kClientTooNew = 14;
constexpr uint32_t kClientUpgradeError1 = 20;
constexpr uint32_t kClientNeedsUpgradeMode = 22;
constexpr uint32_t kClientSetUpgradeMode = 23;
constexpr uint32_t kClientClearUpgradeMode = 24;
// The device result the transfer keeps after a timed-out or lost last block.
constexpr uint32_t kTransferWaitComplete = 18;
// Our own markers: a transfer stopped by cancellation, and one stopped
// because the journal could not record its last block.
constexpr uint32_t kTransferCancelled = 0xFFFFFFFEu;
constexpr uint32_t kTransferJournalFailed = 0xFFFFFFFDu;
constexpr uint32_t kConnectStateConnected = 100;

int MapLoginFailure(uint32_t failure) {
    switch (failure) {
        case kClientBadCredentials:
            return UPGRADE_BAD_CREDENTIALS;
        case kClientTooManyConnections:
            return UPGRADE_TOO_MANY_CONNECTIONS;
        case kClientSetUpgradeMode:
            return UPGRADE_LOGIN_SET_MODE;
        case kClientClearUpgradeMode:
            return UPGRADE_LOGIN_CLEAR_MODE;
        default:
            return UPGRADE_CONNECT_FAILED;
    }
}

int MapTransferResult(uint32_t d) {
    switch (d) {
        case kClientOk:
            return UPGRADE_WAIT_COMPLETE;
        case kTransferWaitComplete:
            return UPGRADE_TIMEOUT;
        case kClientLinkLost:
            return UPGRADE_SEND_FAILED;
        case kClientUpgradeError:
            return UPGRADE_DEVICE_ERROR;
        case kClientUpgradeError1:
            return UPGRADE_CONNECT_FAILED;
        case kClientNeedsUpgradeMode:
            return UPGRADE_WAIT_UPGRADE_MODE;
        case kTransferJournalFailed:
            return UPGRADE_JOURNAL_FAILED;
        default:
            return UPGRADE_FAILED;
    }
}

// Sends block k straight from the shared package; its MD5 is the package's,
// worked out once for every camera.
uint32_t SendBlock(IUpgradeDeviceClient& client, const CUpgradePackage& package,
                   const BlockLayout& layout, uint32_t k, uint32_t& sentBytes,
                   const std::string& mac) {
    const uint32_t size = layout.Size(k);
    const uint32_t result =
        client.SendUpgradeBlock(k, package.Data().data() + layout.Offset(k), size);
    if (result != 0) {
        return result;
    }
    sentBytes += size;
    if (GetLogInstance()->GetLevel() <= kLogInfo) {
        LOG_INFO(kUpgradeFunc, "%d times send data succeed, mac: %s, sentSize: %d, blockMD5: %s",
                 static_cast<int>(k), mac.c_str(), static_cast<int>(sentBytes),
                 package.BlockMd5(k).c_str());
    }
    return 0;
}

}  // namespace

int upgradeDevice(const CBatchContext& context, const std::string& mac, const std::string& ip,
                  uint16_t port, const std::string& user, const std::string& password,
                  const ProgressReporter& reporter, bool upgradeMode, bool login,
                  const std::atomic<bool>* cancel, std::stop_token stop) {
    const CUpgradePackage& package = *context.package;
    const bool newStyle = package.IsNewStyle();
    const UpgradeTimings& timings = context.timings;

    uint32_t error = 0;
    UpgradeDeviceClientPtr client =
        context.clientFactory(mac, ip, port, error, timings.connectTimeoutMs, cancel);
    if (!client) {
        LOG_ERROR(kUpgradeFunc, "connect failed %d, mac: %s", static_cast<int>(error), mac.c_str());
        return (error == kClientTooOld || error == kClientTooNew) ? UPGRADE_NOT_SUPPORTED
                                                                  : UPGRADE_CONNECT_FAILED;
    }
    // A cancel cuts the connection: no reply or send waits out its limit.
    // Holds its own reference, so the explicit release below stays safe.
    const std::stop_callback interruptOnStop(stop, [held = client] { held->Interrupt(); });
    uint32_t serverInfo[16] = {};
    client->GetServerInfo(serverInfo);

    uint32_t softwareVersion = 0;
    if (!login && newStyle) {
        client->StartRecv();
    } else {
        const uint32_t failure = client->LogIn(user, password, softwareVersion, upgradeMode);
        if (failure != kClientOk) {
            LOG_ERROR(kUpgradeFunc, "login failed %d, mac: %s", static_cast<int>(failure),
                      mac.c_str());
            client->ResetCounters();
            return MapLoginFailure(failure);
        }
        LOG_INFO(kUpgradeFunc, "login succeed, softwareVersion: 0x%08X, mac: %s", softwareVersion,
                 mac.c_str());
        // Only what the technician typed is remembered, never an entry of
        // a credentials file.
        if (user == context.user && password == context.password && context.typedLoginAccepted) {
            context.typedLoginAccepted();
        }
    }

    if (!newStyle) {
        const PACKAGE_TRAILER trailer = package.Trailer();
        LOG_INFO(kUpgradeFunc, "headFlag: 0x%08X, deviceType: 0x%08X, productType: 0x%08X, mac: %s",
                 trailer.headFlag, trailer.deviceType, trailer.productType, mac.c_str());
        if (!package.IsCompatible(softwareVersion, serverInfo[SERVER_INFO_PRODUCT_TYPE])) {
            client->ResetCounters();
            return UPGRADE_PACKAGE_ERROR;
        }
    }

    const BlockLayout layout(package.PayloadLength());
    LOG_INFO(kUpgradeFunc,
             "mac: %s, totalSize: %d, blockSize: %d, firstBlockSize: %d, numberOfBlock: %d",
             mac.c_str(), static_cast<int>(package.PayloadLength()),
             static_cast<int>(layout.blockSize), static_cast<int>(layout.firstBlockSize),
             static_cast<int>(layout.blockCount));
    uint32_t k = 1;

    const uint32_t started = client->StartUpgrade(0, newStyle);
    if (started != 0) {
        LOG_WARN(kUpgradeFunc, "start upgrade failed %d, mac: %s", static_cast<int>(started),
                 mac.c_str());
        client->ResetCounters();
        return UPGRADE_FAILED;
    }

    // Looked at immediately before every block leaves: a cancel set while
    // the previous acknowledgement was awaited stops the next block.
    const auto cancelRequested = [&] {
        if (cancel == nullptr || !cancel->load()) {
            return false;
        }
        LOG_WARN(kUpgradeFunc, "upgrade cancelled, mac: %s", mac.c_str());
        return true;
    };
    if (cancelRequested()) {
        client->ResetCounters();
        return UPGRADE_FAILED;
    }
    uint32_t sentBytes = 0;
    uint32_t d = SendBlock(*client, package, layout, 1, sentBytes, mac);
    if (d != 0) {
        LOG_ERROR(kUpgradeFunc, "%d times send data failed %d, mac: %s", 1, static_cast<int>(d),
                  mac.c_str());
        client->ResetCounters();
        return UPGRADE_FAILED;
    }
    const uint64_t progressLimitMs =
        static_cast<uint64_t>(context.settings.GetInt(settings::kWaitUpgradeProgressTimeout)) *
        1000u;
    const uint64_t completeLimitMs =
        static_cast<uint64_t>(context.settings.GetInt(settings::kWaitUpgradeCompleteTimeout)) *
        1000u;
    uint32_t lastAck = PUB_GetTickCount();

    // Stop and wait: block k + 1 goes out only after block k was acknowledged.
    // A turn ends early when the receive thread has news from the camera.
    for (;;) {
        if (reporter && !reporter(k)) {
            LOG_WARN(kUpgradeFunc, "upgrade cancelled, mac: %s", mac.c_str());
            d = kTransferCancelled;
            break;
        }
        client->WaitForAcknowledgement(timings.ackPollMs);
        d = client->GetUpgradeError();
        if (d != 0) {
            LOG_ERROR(kUpgradeFunc, "upgrade failed %d, mac: %s", static_cast<int>(d), mac.c_str());
            break;
        }
        const int32_t acknowledged = client->GetUpgradeProgress();
        if (acknowledged == static_cast<int32_t>(k)) {
            lastAck = PUB_GetTickCount();
            if (k == UPGRADE_BLOCK_COUNT) {
                break;
            }
            const uint32_t nextBlock = k + 1;
            if (cancelRequested()) {
                d = kTransferCancelled;
                break;
            }
            // From the last block on the camera may flash: it leaves only
            // once a resumed run can find that on the disk.
            if (nextBlock == UPGRADE_BLOCK_COUNT && context.journal &&
                !context.journal->Step(mac, "last-block")) {
                LOG_ERROR(kUpgradeFunc,
                          "journal not written, last block not sent, mac: %s, journal: %s",
                          mac.c_str(), context.journal->Path().c_str());
                d = kTransferJournalFailed;
                break;
            }
            if (cancelRequested()) {
                d = kTransferCancelled;
                break;
            }
            k = nextBlock;
            d = SendBlock(*client, package, layout, k, sentBytes, mac);
            if (d != 0) {
                LOG_ERROR(kUpgradeFunc, "%d times send data failed %d, mac: %s",
                          static_cast<int>(k), static_cast<int>(d), mac.c_str());
                break;
            }
            continue;
        }
        d = client->GetConnectState();
        if (d != 0 && (!newStyle || d != kConnectStateConnected)) {
            LOG_WARN(kUpgradeFunc, "%d times device disconnected, mac: %s", static_cast<int>(k),
                     mac.c_str());
            if (k == UPGRADE_BLOCK_COUNT) {
                d = kTransferWaitComplete;
            }
            break;
        }
        d = 0;
        uint64_t limitMs = k == UPGRADE_BLOCK_COUNT ? completeLimitMs : progressLimitMs;
        if (k == 1) {
            limitMs *= 2;
        }
        if (static_cast<uint64_t>(PUB_TicksSince(lastAck)) > limitMs) {
            LOG_WARN(kUpgradeFunc, "%d times wait timeout, mac: %s, time: %ds", static_cast<int>(k),
                     mac.c_str(), static_cast<int>(limitMs / 1000));
            d = kTransferWaitComplete;
            break;
        }
    }

    if (k == UPGRADE_BLOCK_COUNT && d != kTransferCancelled && d != kTransferJournalFailed) {
        LOG_INFO(kUpgradeFunc, "send data succeed %d, mac: %s, dataMD5: %s", static_cast<int>(d),
                 mac.c_str(), package.TransferMd5().c_str());
    } else {
        LOG_WARN(kUpgradeFunc, "send data failed %d, mac: %s", static_cast<int>(d), mac.c_str());
    }
    client->ResetCounters();
    client.reset();
    if (d == kTransferCancelled) {
        return UPGRADE_FAILED;
    }
    return MapTransferResult(d);
}

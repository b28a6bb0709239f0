#include "upgrade/UpgradeProcedure.h"

#include <optional>
#include <string>

#include "app/Logger.h"
#include "app/Settings.h"
#include "upgrade/DeviceWaits.h"
#include "upgrade/LoginModeSignal.h"
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

AttemptResult MapLoginFailure(uint32_t failure) {
    switch (failure) {
        case kClientBadCredentials:
            return UpgradeResult::BadCredentials;
        case kClientTooManyConnections:
            return UpgradeResult::TooManyConnections;
        case kClientSetUpgradeMode:
            return LoginModeSignal::SetUpgradeMode;
        case kClientClearUpgradeMode:
            return LoginModeSignal::ClearUpgradeMode;
        default:
            return UpgradeResult::ConnectFailed;
    }
}

AttemptResult MapTransferResult(uint32_t d) {
    switch (d) {
        case kClientOk:
            return UpgradeProgress::WaitComplete;
        case kTransferWaitComplete:
            return UpgradeResult::Timeout;
        case kClientLinkLost:
            return UpgradeResult::SendFailed;
        case kClientUpgradeError:
            return UpgradeResult::DeviceError;
        case kClientUpgradeError1:
            return UpgradeResult::ConnectFailed;
        case kClientNeedsUpgradeMode:
            return UpgradeProgress::WaitUpgradeMode;
        case kTransferJournalFailed:
            return UpgradeResult::JournalFailed;
        default:
            return UpgradeResult::Failed;
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

// Logs in (or, for an activated new-style camera, only starts listening)
// and checks an old-style package against the camera. Returns the result
// that ends the attempt, or nothing when the transfer may start.
std::optional<AttemptResult> LogInAndCheck(const CBatchContext& context,
                                           const UpgradeAttempt& attempt,
                                           IUpgradeDeviceClient& client) {
    const CUpgradePackage& package = *context.package;
    const std::string& mac = attempt.mac;
    uint32_t serverInfo[16] = {};
    client.GetServerInfo(serverInfo);

    uint32_t softwareVersion = 0;
    if (!attempt.login && package.IsNewStyle()) {
        client.StartRecv();
    } else {
        const uint32_t failure =
            client.LogIn(attempt.user, attempt.password, softwareVersion, attempt.upgradeMode);
        if (failure != kClientOk) {
            LOG_ERROR(kUpgradeFunc, "login failed %d, mac: %s", static_cast<int>(failure),
                      mac.c_str());
            return MapLoginFailure(failure);
        }
        LOG_INFO(kUpgradeFunc, "login succeed, softwareVersion: 0x%08X, mac: %s", softwareVersion,
                 mac.c_str());
        // Only what the technician typed is remembered, never an entry of
        // a credentials file.
        if (attempt.user == context.user && attempt.password == context.password &&
            context.typedLoginAccepted) {
            context.typedLoginAccepted();
        }
    }

    if (!package.IsNewStyle()) {
        const PACKAGE_TRAILER trailer = package.Trailer();
        LOG_INFO(kUpgradeFunc, "headFlag: 0x%08X, deviceType: 0x%08X, productType: 0x%08X, mac: %s",
                 trailer.headFlag, trailer.deviceType, trailer.productType, mac.c_str());
        if (!package.IsCompatible(softwareVersion, serverInfo[SERVER_INFO_PRODUCT_TYPE])) {
            return UpgradeResult::PackageError;
        }
    }
    return std::nullopt;
}

uint64_t SecondsSettingMs(const CBatchContext& context, const char* key) {
    return static_cast<uint64_t>(context.settings.GetInt(key)) * 1000u;
}

// The 100 blocks of one attempt, stop and wait: block k + 1 goes out only
// after block k was acknowledged. A turn ends early when the receive thread
// has news from the camera.
class CBlockTransfer {
public:
    CBlockTransfer(const CBatchContext& context, const UpgradeAttempt& attempt,
                   IUpgradeDeviceClient& client)
        : m_context(context),
          m_attempt(attempt),
          m_client(client),
          m_package(*context.package),
          m_layout(m_package.PayloadLength()),
          m_progressLimitMs(SecondsSettingMs(context, settings::kWaitUpgradeProgressTimeout)),
          m_completeLimitMs(SecondsSettingMs(context, settings::kWaitUpgradeCompleteTimeout)) {}

    // Starts the upgrade and sends block 1. Returns the result that ends
    // the attempt, or nothing when the first block left.
    std::optional<AttemptResult> Begin();
    // Until the last block was acknowledged or the transfer ended; returns
    // the client result (or one of our markers).
    uint32_t Run();
    // The block the transfer reached.
    uint32_t Block() const { return m_k; }

private:
    bool CancelRequested() const;
    // Block k was acknowledged: the next one goes out unless k was the
    // last. Returns the transfer's end, or nothing to go on.
    std::optional<uint32_t> OnAcknowledged();
    // No acknowledgement yet: a lost link or a passed limit ends the wait.
    std::optional<uint32_t> OnNoAcknowledgement();

    const CBatchContext& m_context;
    const UpgradeAttempt& m_attempt;
    IUpgradeDeviceClient& m_client;
    const CUpgradePackage& m_package;
    const BlockLayout m_layout;
    const uint64_t m_progressLimitMs;
    const uint64_t m_completeLimitMs;
    uint32_t m_k = 1;
    uint32_t m_sentBytes = 0;
    uint32_t m_lastAck = 0;
};

// Looked at immediately before every block leaves: a cancel set while the
// previous acknowledgement was awaited stops the next block.
bool CBlockTransfer::CancelRequested() const {
    if (m_attempt.cancel == nullptr || !m_attempt.cancel->load()) {
        return false;
    }
    LOG_WARN(kUpgradeFunc, "upgrade cancelled, mac: %s", m_attempt.mac.c_str());
    return true;
}

std::optional<AttemptResult> CBlockTransfer::Begin() {
    const std::string& mac = m_attempt.mac;
    LOG_INFO(kUpgradeFunc,
             "mac: %s, totalSize: %d, blockSize: %d, firstBlockSize: %d, numberOfBlock: %d",
             mac.c_str(), static_cast<int>(m_package.PayloadLength()),
             static_cast<int>(m_layout.blockSize), static_cast<int>(m_layout.firstBlockSize),
             static_cast<int>(m_layout.blockCount));
    const uint32_t started = m_client.StartUpgrade(0, m_package.IsNewStyle());
    if (started != 0) {
        LOG_WARN(kUpgradeFunc, "start upgrade failed %d, mac: %s", static_cast<int>(started),
                 mac.c_str());
        return UpgradeResult::Failed;
    }
    if (CancelRequested()) {
        return UpgradeResult::Failed;
    }
    const uint32_t d = SendBlock(m_client, m_package, m_layout, 1, m_sentBytes, mac);
    if (d != 0) {
        LOG_ERROR(kUpgradeFunc, "%d times send data failed %d, mac: %s", 1, static_cast<int>(d),
                  mac.c_str());
        return UpgradeResult::Failed;
    }
    m_lastAck = PUB_GetTickCount();
    return std::nullopt;
}

uint32_t CBlockTransfer::Run() {
    for (;;) {
        if (m_attempt.reporter && !m_attempt.reporter(m_k)) {
            LOG_WARN(kUpgradeFunc, "upgrade cancelled, mac: %s", m_attempt.mac.c_str());
            return kTransferCancelled;
        }
        m_client.WaitForAcknowledgement(m_context.timings.ackPollMs);
        const uint32_t error = m_client.GetUpgradeError();
        if (error != 0) {
            LOG_ERROR(kUpgradeFunc, "upgrade failed %d, mac: %s", static_cast<int>(error),
                      m_attempt.mac.c_str());
            return error;
        }
        const std::optional<uint32_t> end =
            m_client.GetUpgradeProgress() == static_cast<int32_t>(m_k) ? OnAcknowledged()
                                                                       : OnNoAcknowledgement();
        if (end) {
            return *end;
        }
    }
}

std::optional<uint32_t> CBlockTransfer::OnAcknowledged() {
    const std::string& mac = m_attempt.mac;
    m_lastAck = PUB_GetTickCount();
    if (m_k == UPGRADE_BLOCK_COUNT) {
        return kClientOk;
    }
    const uint32_t nextBlock = m_k + 1;
    if (CancelRequested()) {
        return kTransferCancelled;
    }
    // From the last block on the camera may flash: it leaves only once a
    // resumed run can find that on the disk.
    if (nextBlock == UPGRADE_BLOCK_COUNT && m_context.journal &&
        !m_context.journal->Step(mac, "last-block")) {
        LOG_ERROR(kUpgradeFunc, "journal not written, last block not sent, mac: %s, journal: %s",
                  mac.c_str(), m_context.journal->Path().c_str());
        return kTransferJournalFailed;
    }
    if (CancelRequested()) {
        return kTransferCancelled;
    }
    m_k = nextBlock;
    const uint32_t d = SendBlock(m_client, m_package, m_layout, m_k, m_sentBytes, mac);
    if (d != 0) {
        LOG_ERROR(kUpgradeFunc, "%d times send data failed %d, mac: %s", static_cast<int>(m_k),
                  static_cast<int>(d), mac.c_str());
        return d;
    }
    return std::nullopt;
}

std::optional<uint32_t> CBlockTransfer::OnNoAcknowledgement() {
    const std::string& mac = m_attempt.mac;
    const uint32_t state = m_client.GetConnectState();
    if (state != 0 && (!m_package.IsNewStyle() || state != kConnectStateConnected)) {
        LOG_WARN(kUpgradeFunc, "%d times device disconnected, mac: %s", static_cast<int>(m_k),
                 mac.c_str());
        return m_k == UPGRADE_BLOCK_COUNT ? kTransferWaitComplete : state;
    }
    uint64_t limitMs = m_k == UPGRADE_BLOCK_COUNT ? m_completeLimitMs : m_progressLimitMs;
    if (m_k == 1) {
        limitMs *= 2;
    }
    if (static_cast<uint64_t>(PUB_TicksSince(m_lastAck)) > limitMs) {
        LOG_WARN(kUpgradeFunc, "%d times wait timeout, mac: %s, time: %ds", static_cast<int>(m_k),
                 mac.c_str(), static_cast<int>(limitMs / 1000));
        return kTransferWaitComplete;
    }
    return std::nullopt;
}

}  // namespace

AttemptResult upgradeDevice(const CBatchContext& context, const UpgradeAttempt& attempt) {
    const std::string& mac = attempt.mac;
    uint32_t error = 0;
    UpgradeDeviceClientPtr client = context.clientFactory(
        mac, attempt.ip, attempt.port, error, context.timings.connectTimeoutMs, attempt.cancel);
    if (!client) {
        LOG_ERROR(kUpgradeFunc, "connect failed %d, mac: %s", static_cast<int>(error), mac.c_str());
        return (error == kClientTooOld || error == kClientTooNew) ? UpgradeResult::NotSupported
                                                                  : UpgradeResult::ConnectFailed;
    }
    // A cancel cuts the connection: no reply or send waits out its limit.
    // Holds its own reference, so the explicit release below stays safe.
    const std::stop_callback interruptOnStop(attempt.stop, [held = client] { held->Interrupt(); });

    CBlockTransfer transfer(context, attempt, *client);
    std::optional<AttemptResult> refused = LogInAndCheck(context, attempt, *client);
    if (!refused) {
        refused = transfer.Begin();
    }
    if (refused) {
        client->ResetCounters();
        return *refused;
    }
    const uint32_t d = transfer.Run();
    if (transfer.Block() == UPGRADE_BLOCK_COUNT && d != kTransferCancelled &&
        d != kTransferJournalFailed) {
        LOG_INFO(kUpgradeFunc, "send data succeed %d, mac: %s, dataMD5: %s", static_cast<int>(d),
                 mac.c_str(), context.package->TransferMd5().c_str());
    } else {
        LOG_WARN(kUpgradeFunc, "send data failed %d, mac: %s", static_cast<int>(d), mac.c_str());
    }
    client->ResetCounters();
    client.reset();
    if (d == kTransferCancelled) {
        return UpgradeResult::Failed;
    }
    return MapTransferResult(d);
}

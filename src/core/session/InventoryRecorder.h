// What a session writes into the site inventory: every camera its search
// reports, and each upgrade step once its camera's final result is posted.
// A database that cannot be used, or a write that fails, is told once (one
// WM_INVENTORY_NOTICE, an InventoryNoticeEvent to the front-end) and the
// inventory is left alone for the rest of the run: the search and the
// upgrade go on without it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/MessageSink.h"
#include "model/DeviceSInfo.h"
#include "model/ResultCode.h"

class CInventory;

class CInventoryRecorder {
public:
    // `site` "" names each camera's site by its subnet: the subnet of
    // `adapter` when one is chosen, else that of the host's adapter the
    // camera's address is in, else the camera's own address and mask.
    CInventoryRecorder(const std::string& path, std::string site, const std::string& adapter,
                       MessageSinkPtr frontEnd,
                       std::function<DeviceInfoPtr(const std::string& mac)> currentRecord);
    ~CInventoryRecorder();
    CInventoryRecorder(const CInventoryRecorder&) = delete;
    CInventoryRecorder& operator=(const CInventoryRecorder&) = delete;

    // The search thread: a camera found or changed.
    void OnDeviceFound(const DEVICE_S_INFO& record);
    // Before StartBatch: results that come before its journal is known
    // wait for it.
    void OnBatchStarting();
    // The batch's journal, once StartBatch has opened it. Results posted
    // before it was known are recorded now.
    void OnBatchStarted(const std::string& journalPath);
    // Any worker thread: a camera's final result.
    void OnJobResult(const std::string& mac, UpgradeResult code);

    // The site of what is recorded from now on ("" each camera's subnet,
    // as in the constructor); any thread.
    void SetSite(std::string site);

    // Why the inventory is not written, "" while it is.
    std::string Problem() const;

    // The sink the upgrade engine posts to: each final WM_UPGRADE_RESULT is
    // recorded, then every message goes on to `frontEnd`.
    static MessageSinkPtr RecordingSink(std::shared_ptr<CInventoryRecorder> recorder,
                                        MessageSinkPtr frontEnd);

private:
    std::string SiteOf(const std::string& ip, const std::string& mask) const;
    void RecordStepsLocked(const std::vector<std::pair<std::string, UpgradeResult>>& results);
    std::string PackageSha256Locked(const std::string& path);
    void GiveUpLocked(const std::string& problem);

    std::string m_adapterSubnet;  // of the chosen adapter, "" without one
    // The host's subnets as address and mask in host order.
    std::vector<std::pair<uint32_t, uint32_t>> m_subnets;
    MessageSinkPtr m_frontEnd;
    std::function<DeviceInfoPtr(const std::string& mac)> m_currentRecord;

    mutable std::mutex m_mutex;  // guards the members below
    std::string m_site;
    std::unique_ptr<CInventory> m_inventory;
    std::string m_problem;
    std::string m_journalPath;
    bool m_batchKnown = false;  // OnBatchStarted came for the running batch
    std::vector<std::pair<std::string, UpgradeResult>>
        m_early;                                  // results before the journal was known
    std::map<std::string, std::string> m_sha256;  // by package path
};

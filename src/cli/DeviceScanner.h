// The CLI's view of the network: runs the device search and keeps the list
// of cameras found, as the main window's list does, from the posted
// messages. Runs on the CLI's main thread; the search posts into a queue.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MessageQueue.h"
#include "model/DeviceSInfo.h"

class CSearchIntake;

class CDeviceScanner {
public:
    // `targets` are extra "host[:port]" search targets; `adapter` the
    // interface to search on ("" for all).
    CDeviceScanner(std::vector<std::string> targets, std::string adapter);
    ~CDeviceScanner();
    CDeviceScanner(const CDeviceScanner&) = delete;
    CDeviceScanner& operator=(const CDeviceScanner&) = delete;

    bool Start();
    void Stop();

    // Handles the messages that arrive within `ms`; every other message
    // goes to `other` (upgrade results and progress).
    using MessageHandler = std::function<void(CWindowMessage&)>;
    void Pump(int ms, const MessageHandler& other = {});
    // Handles messages until `done` holds or `ms` passed.
    void PumpUntil(const std::function<bool()>& done, int ms, const MessageHandler& other = {});

    // Cameras found, in the order they were first seen.
    const std::vector<DeviceInfoPtr>& Devices() const { return m_devices; }
    DeviceInfoPtr Find(const std::string& mac) const;
    const std::shared_ptr<CMessageQueue>& Queue() const { return m_queue; }

    // Called for found and changed reports before the list is updated (the
    // upgrade engine's hook), and asked before a gone camera is removed.
    std::function<void(int kind, const DEVICE_S_INFO&)> onReport;
    std::function<bool(const std::string& mac)> keepOnGone;

private:
    void Handle(CWindowMessage& message, const MessageHandler& other);

    std::vector<std::string> m_targets;
    std::string m_adapter;
    std::shared_ptr<CMessageQueue> m_queue = std::make_shared<CMessageQueue>();
    std::unique_ptr<CSearchIntake> m_intake;
    std::vector<DeviceInfoPtr> m_devices;
};

// Case-insensitive MAC comparison.
bool SameMac(const std::string& a, const std::string& b);

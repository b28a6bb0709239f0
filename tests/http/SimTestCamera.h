// Simulated cameras for the HTTP tests: one address each in 127.80.x.y.
#pragma once

#include <string>

#include "SimConfig.h"
#include "SimEvent.h"
#include "SimFleet.h"

inline SimCameraConfig HttpTestCamera(const std::string& mac, const std::string& ip,
                                      SimHttpAuth auth = SimHttpAuth::Digest) {
    SimCameraConfig cam;
    cam.mac = mac;
    cam.ip = ip;
    cam.user = "admin";
    cam.password = "cam-pass";
    cam.httpAuth = auth;
    cam.structVersion = "2.1.0";
    cam.faceDetectVersion = "1.4.2";
    cam.vehicleVersion = "3.0.7";
    return cam;
}

// The "http" events of one camera.
inline std::vector<SimEvent> HttpEvents(const CSimFleet& fleet, const std::string& mac) {
    std::vector<SimEvent> http;
    for (const SimEvent& e : fleet.Events(mac)) {
        if (e.kind == "http") {
            http.push_back(e);
        }
    }
    return http;
}

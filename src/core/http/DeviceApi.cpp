#include "http/DeviceApi.h"

#include <cstdio>

#include "app/Logger.h"
#include "http/HttpClient.h"

FH_LOG_SOURCE("FirmhandDlg");

bool SendAndRcvApiGetCmd(const std::string& address, int port, const std::string& apiName,
                         const std::string& user, const std::string& password,
                         const std::string& body, std::string* reply,
                         const std::atomic<bool>* cancel, bool basicAllowed) {
    // The URL is kept to 127 characters, as the device API expects short ones.
    char url[128];
    std::snprintf(url, sizeof url, "http://%s:%d/%s", address.c_str(), port, apiName.c_str());

    CHttpClient http;
    http.AddHeader("Content-Type", "text/plain; charset=UTF-8");
    http.SetCredentials(user, password);
    http.SetCancelFlag(cancel);
    http.SetBasicAuthAllowed(basicAllowed);
    int status = -1;
    const int result = http.Request(url, body, reply, &status);
    if (result == 0) {
        LOG_INFO("CFirmhandDlg::SendAndRcvApiGetCmd", "request succeed, url: %s, httpStatus: %d",
                 url, status);
        return true;
    }
    LOG_ERROR("CFirmhandDlg::SendAndRcvApiGetCmd", "request failed %d, url: %s, httpStatus: %d",
              result, url, status);
    return false;
}

// RAII owners of libcurl's handles, and the one-time global set-up that must
// run before the first handle is made.
#pragma once

#include <curl/curl.h>

#include <memory>

struct CCurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CCurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CCurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CCurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

using CCurlEasy = std::unique_ptr<CURL, CCurlEasyDeleter>;
using CCurlSlist = std::unique_ptr<curl_slist, CCurlSlistDeleter>;
using CCurlUrl = std::unique_ptr<CURLU, CCurlUrlDeleter>;
using CCurlText = std::unique_ptr<char, CCurlTextDeleter>;

// curl_global_init once per process (it is not safe to race with itself);
// false when libcurl could not be started.
bool CurlGlobalInit();

// Appends `line` to the list; false when libcurl is out of memory.
bool CurlSlistAppend(CCurlSlist& list, const char* line);

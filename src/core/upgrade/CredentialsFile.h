// The credentials file of a rollout: one entry a line,
//   MATCH USER PASSWORD
// where MATCH is a camera's MAC, a model text or "*", the fields are split
// by whitespace and the password is the rest of the line; "#" starts a
// comment line. Passwords read here are never logged or written anywhere.
#pragma once

#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

struct CREDENTIAL_ENTRY {
    int line = 0;  // 1-based, for messages and the dry run
    std::string match;
    std::string user;
    std::string password;
};

// A camera's user name and password for one attempt, and where they came
// from ("typed" or "line N").
struct CameraCredential {
    std::string user;
    std::string password;
    std::string source;
};

// Parses the file's text. False with `error` naming the line on a bad one.
bool ParseCredentials(const std::string& text, std::vector<CREDENTIAL_ENTRY>& entries,
                      std::string& error);
// Reads and parses the file after checking that it is the user's alone.
bool LoadCredentialsFile(const std::string& path, std::vector<CREDENTIAL_ENTRY>& entries,
                         std::string& error);

// True when the entry applies to the camera: its MAC (any letter case,
// ':' or '-' between the bytes), its model text, or "*".
bool CredentialMatches(const CREDENTIAL_ENTRY& entry, const DEVICE_S_INFO& record);

// The credentials to try for the camera, in order: the matching entries in
// file order, then the typed (or remembered) ones.
std::vector<CameraCredential> CredentialsFor(const std::vector<CREDENTIAL_ENTRY>& entries,
                                             const DEVICE_S_INFO& record,
                                             const std::string& typedUser,
                                             const std::string& typedPassword);

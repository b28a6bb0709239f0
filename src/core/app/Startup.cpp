#include "app/Startup.h"

#include "app/CrashDump.h"
#include "app/Language.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "app/Version.h"

FH_LOG_SOURCE("Firmhand");

void InitApplication(const std::string& logBaseName) {
    GetLogInstance()->Init(logBaseName);
    LOG_INFO("CFirmhandApp::InitInstance", "build time: %s %s", BuildDateText(), BuildTimeText());
    InstallCrashDumpFilter();
    ChooseInterfaceLanguage();
}

std::string MainWindowTitle() {
    // "Batch Firmhand v1.0.0.0": the name and the version read as two words.
    return LoadString(IDS_APP_TITLE) + " v" + VersionToString(GetModuleVersionNumber());
}

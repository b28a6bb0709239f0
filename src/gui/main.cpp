#include <QApplication>
#include <cstdio>
#include <cstring>

#include "FirmhandDlg.h"
#include "app/Startup.h"
#include "app/Version.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("firmhand %s\n", VersionToString(GetModuleVersionNumber()).c_str());
            return 0;
        }
    }
    InitApplication("firmhand");
    QApplication application(argc, argv);
    CFirmhandDlg window;
    window.show();
    return application.exec();
}

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "FirmhandDlg.h"
#include "GuiResources.h"
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
    InitGuiResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ICON/128")));
    // TODO(start-up): once the adapter list and the search library exist,
    // the adapter dialog (CLoginDlg) runs before the window is shown, and
    // the upgrade engine is handed to the window with SetUpgradeController.
    CFirmhandDlg window;
    window.show();
    return application.exec();
}

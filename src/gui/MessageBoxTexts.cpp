#include "MessageBoxTexts.h"

#include <QAbstractButton>
#include <QMessageBox>

#include "app/StringTable.h"

void SetStandardButtonTexts(QMessageBox& box) {
    for (const auto& [button, id] : {std::pair{QMessageBox::Ok, IDS_BUTTON_OK},
                                     std::pair{QMessageBox::Cancel, IDS_BUTTON_CANCEL}}) {
        if (QAbstractButton* shown = box.button(button)) {
            shown->setText(QString::fromStdString(LoadString(id)));
        }
    }
}

#include "StateIcons.h"

#include <QFile>

#include <array>
#include "GuiResources.h"

namespace {

QIcon FallbackIcon(const QString& name) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 256}) {
        const QString path = QStringLiteral(":/state/%1/%2.png").arg(size).arg(name);
        if (QFile::exists(path)) {
            icon.addFile(path, QSize(size, size));
        }
    }
    return icon;
}

}  // namespace

QIcon StateIcon(RowPhase phase) {
    static std::array<QIcon, static_cast<size_t>(RowPhase::Count)> icons;
    static std::array<bool, static_cast<size_t>(RowPhase::Count)> made{};
    const auto slot = static_cast<size_t>(phase);
    if (phase == RowPhase::None || slot >= icons.size()) {
        return {};
    }
    if (!made[slot]) {
        InitGuiResources();
        const QString name = QString::fromLatin1(PhaseIconName(phase));
        icons[slot] = QIcon::fromTheme(name, FallbackIcon(name));
        made[slot] = true;
    }
    return icons[slot];
}

void PrepareStateIcons(int extent, qreal ratio) {
    for (size_t slot = 0; slot < static_cast<size_t>(RowPhase::Count); ++slot) {
        const QIcon icon = StateIcon(static_cast<RowPhase>(slot));
        if (!icon.isNull()) {
            icon.pixmap(QSize(extent, extent), ratio);
        }
    }
}

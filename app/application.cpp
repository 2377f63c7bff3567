#include "application.h"

#include "HStation.h"
#include "board/halvo.h"
#include "resources.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <memory>

namespace
{

// The first use of the board API in the process, before any toolkit object
// exists; the answers are not needed, only that the library has met the
// local board.
void touchLocalBoard()
{
    BatteryState batteryState;
    HalvoGetBatteryState(0, 0, &batteryState);
    CpuInfo cpuInfo;
    HalvoGetCpuInfo(0, &cpuInfo);
}

// Qt 5 has Plastique only as a plugin; without the plugin package Fusion is
// the closest built-in look.
QStyle *createStyle()
{
    if (QStyle *style = QStyleFactory::create(QStringLiteral("plastique")))
        return style;
    return QStyleFactory::create(QStringLiteral("Fusion"));
}

} // namespace

int runHalvoGui(int &argc, char **argv, const std::function<void(HStation &)> &shown)
{
    touchLocalBoard();
    // The window draws nothing with OpenGL, yet under X Qt's GLX integration
    // loads the OpenGL driver (Mesa: some 50 MB resident). A choice the user
    // made in the environment is kept.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication::setStyle(createStyle());
    QApplication application(argc, argv);
    initHalvoResources();

    auto window = std::make_unique<HStation>();
    window->show();
    if (shown)
        QTimer::singleShot(0, window.get(), [&] { shown(*window); });
    return application.exec();
}

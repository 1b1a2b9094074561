#include "render/gui_for_tools.h"

namespace ostrel::render {

std::unique_ptr<QGuiApplication> GuiForTools()
{
    if (QCoreApplication::instance())
        return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ostrel";
    static char* argv[] = { name, nullptr };
    // Qt warns about a missing XDG_RUNTIME_DIR, which a tool never uses.
    QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    qInstallMessageHandler(previous);
    return app;
}

} // namespace ostrel::render
